// A stand-in for FlightGear's fgfs in the launcher's tests, told what to do
// by its environment:
//   STAND_IN_VERSION         what --version prints (nothing when unset)
//   STAND_IN_VERSION_STATUS  --version's exit status (default 0)
//   STAND_IN_LOG             a folder: each run writes its arguments, one a line, to a file there,
//                            and then "env:FG_HOME=..." when FG_HOME is set
//   STAND_IN_RUN             "wait" (default: until stopped, at most 60 s), "exit:N" (after 0.5 s), "crash"
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#  include <process.h>
#  define getpid _getpid
#else
#  include <unistd.h>
#endif

namespace {
std::string environment(const char* name, const char* otherwise)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : otherwise;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s", environment("STAND_IN_VERSION", "").c_str());
        return std::atoi(environment("STAND_IN_VERSION_STATUS", "0").c_str());
    }
    const std::string log = environment("STAND_IN_LOG", "");
    if (!log.empty()) {
        const std::string path = log + "/run." + std::to_string(getpid());
        if (std::FILE* file = std::fopen(path.c_str(), "w")) {
            for (int i = 1; i < argc; ++i) {
                std::fprintf(file, "%s\n", argv[i]);
            }
            if (const char* home = std::getenv("FG_HOME")) {
                std::fprintf(file, "env:FG_HOME=%s\n", home);
            }
            std::fclose(file);
        }
    }
    const std::string run = environment("STAND_IN_RUN", "wait");
    if (run.rfind("exit:", 0) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return std::atoi(run.c_str() + 5);
    }
    if (run == "crash") {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
#if defined(_WIN32)
        // What an access violation leaves as exit code, without the debugger Wine would start.
        TerminateProcess(GetCurrentProcess(), 0xC0000005u);
#else
        std::signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn the crash into an exit status
        std::raise(SIGSEGV);
#endif
    }
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
