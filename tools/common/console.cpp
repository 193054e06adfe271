// The console layer: POSIX signals or Windows console control events.
#include "console.h"

#include <algorithm>
#include <atomic>
#include <thread>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <shellapi.h>
#  include <io.h>
#else
#  include <signal.h>
#  include <unistd.h>
#endif

namespace console {

namespace {
std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

#if defined(_WIN32)
BOOL WINAPI onControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stopFlag = true;
        if (event == CTRL_CLOSE_EVENT) {
            // The system ends the process when this returns: leave the main
            // thread time to print its summary first.
            Sleep(2000);
        }
        return TRUE;
    }
    return FALSE;
}
#else
extern "C" void onStopRequest(int) { stopFlag = true; }
#endif
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
#if defined(_WIN32)
    SetConsoleCtrlHandler(onControl, TRUE);
#else
    struct sigaction action{};
    action.sa_handler = onStopRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read waiting for input returns
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool stopRequested() { return stopFlag; }

bool sleepUntil(std::chrono::steady_clock::time_point deadline)
{
    // Short slices: a stop request is seen within one of them.
    constexpr auto slice = std::chrono::milliseconds(20);
    while (!stopFlag) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_until(std::min(deadline, now + slice));
    }
    return false;
}

Arguments::Arguments(int argc, char** argv)
{
#if defined(_WIN32)
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(std::max(size, 1)), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        text.resize(text.size() - 1);  // the terminator
        texts_.push_back(text);
    }
    LocalFree(wide);
#else
    texts_.assign(argv, argv + argc);
#endif
    for (std::string& text : texts_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

}  // namespace console
