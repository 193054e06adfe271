// The console layer: POSIX and Windows differ only in how a terminal is recognised.
#include "console.h"

#include <algorithm>
#include <csignal>
#include <thread>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace console {

namespace {
volatile std::sig_atomic_t stopFlag = 0;
extern "C" void onStopRequest(int) { stopFlag = 1; }
}  // namespace

bool isTerminal(std::FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void catchStopRequests()
{
    std::signal(SIGINT, onStopRequest);
    std::signal(SIGTERM, onStopRequest);
}

bool stopRequested() { return stopFlag != 0; }

bool sleepUntil(std::chrono::steady_clock::time_point deadline)
{
    // Short slices: a stop request is seen within one of them.
    constexpr auto slice = std::chrono::milliseconds(20);
    while (stopFlag == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_until(std::min(deadline, now + slice));
    }
    return false;
}

}  // namespace console
