// A stand-in for FlightGear's fgfs in the launcher's tests, told what to do
// by its environment:
//   STAND_IN_VERSION         what --version prints (nothing when unset)
//   STAND_IN_VERSION_STATUS  --version's exit status (default 0)
//   STAND_IN_LOG             a folder: each run writes its arguments, one a line, to a file there,
//                            and then "env:FG_HOME=..." when FG_HOME is set
//   STAND_IN_RUN             "wait" (default: until stopped, at most 60 s), "exit:N" (after 0.5 s), "crash"
//   STAND_IN_BIND_FAILS      "1": reports, after 0.3 s, that binding its --native-fdm port failed
//   STAND_IN_SCENERY_AFTER   with --props=PORT while waiting: seconds until its property server answers
//                            /sim/sceneryloaded with 'true' (default 1; "never")
//   STAND_IN_SPLASH_FOR      seconds the splash screen stays after that: /sim/startup/splash-alpha is 1
//                            until then, 0 after (default 0.5)
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <winsock2.h>
#  include <windows.h>
#  include <process.h>
#  define getpid _getpid
using Handle = SOCKET;
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <unistd.h>
using Handle = int;
#endif

namespace {
std::string environment(const char* name, const char* otherwise)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : otherwise;
}
void closeHandle(Handle handle)
{
#if defined(_WIN32)
    closesocket(handle);
#else
    ::close(handle);
#endif
}

// The answer to one "get PATH" line, with the prompt after it, as FlightGear's server gives it.
std::string answer(const std::string& line, double elapsed, double readyAfter, double splashFor)
{
    if (line.find("/sim/sceneryloaded") != std::string::npos) {
        return std::string("/sim/sceneryloaded = '") + (elapsed >= readyAfter ? "true" : "false") + "' (bool)\r\n/> ";
    }
    if (line.find("/sim/startup/splash-alpha") != std::string::npos) {
        return std::string("/sim/startup/splash-alpha = '") + (elapsed >= readyAfter + splashFor ? "0" : "1") +
               "' (double)\r\n/> ";
    }
    return "-ERR\r\n/> ";
}

// FlightGear's property server, as far as the launcher asks it: each
// connection gets an answer to each line of its one question. Until `seconds`.
void serveProperties(int port, double readyAfter, double splashFor, int seconds)
{
#if defined(_WIN32)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    const Handle listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0) {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - started < std::chrono::seconds(seconds)) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(listener, &set);
        timeval limit{0, 100000};
        if (::select(static_cast<int>(listener) + 1, &set, nullptr, nullptr, &limit) <= 0) {
            continue;
        }
        const Handle client = ::accept(listener, nullptr, nullptr);
        char question[256];
#if defined(_WIN32)
        const int got = ::recv(client, question, static_cast<int>(sizeof question - 1), 0);
#else
        const long got = ::recv(client, question, sizeof question - 1, 0);
#endif
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string reply;
        std::string asked(question, got > 0 ? static_cast<std::size_t>(got) : 0);
        for (std::size_t end = asked.find('\n'); end != std::string::npos; end = asked.find('\n')) {
            reply += answer(asked.substr(0, end), elapsed, readyAfter, splashFor);
            asked.erase(0, end + 1);
        }
        if (!reply.empty()) {
#if defined(_WIN32)
            ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
#else
            ::send(client, reply.data(), reply.size(), 0);
#endif
        }
        closeHandle(client);
    }
    closeHandle(listener);
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
    if (environment("STAND_IN_BIND_FAILS", "") == "1") {
        // As FlightGear reports a port it cannot have, deep in its log, and runs on.
        for (int i = 1; i < argc; ++i) {
            const char* at = std::strstr(argv[i], ",udp");
            if (std::strncmp(argv[i], "--native-fdm=", 13) == 0 && at != nullptr) {
                const char* comma = at;
                while (comma > argv[i] && comma[-1] != ',') {
                    --comma;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                std::fprintf(stderr, "   0.31 [INFO]:io    opening socket\n   0.31 [ALRT]:io    bind(127.0.0.1:%.*s) failed\n",
                             static_cast<int>(at - comma), comma);
                std::fflush(stderr);
            }
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
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--props=", 8) == 0) {
            const std::string after = environment("STAND_IN_SCENERY_AFTER", "1");
            serveProperties(std::atoi(argv[i] + 8), after == "never" ? 1e9 : std::atof(after.c_str()),
                            std::atof(environment("STAND_IN_SPLASH_FOR", "0.5").c_str()), 60);
            return 0;
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
