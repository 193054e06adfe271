// Child processes on POSIX: posix_spawn, waitpid, SIGTERM then SIGKILL.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "console.h"
#include "processes.h"

extern char** environ;

namespace processes {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto poll = std::chrono::milliseconds(20);
constexpr std::size_t outputLimit = 64 * 1024;

std::vector<char*> argumentVector(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

Ending endingOf(int status)
{
    if (WIFEXITED(status)) {
        return {WEXITSTATUS(status) == 0, "exited with status " + std::to_string(WEXITSTATUS(status))};
    }
    if (WIFSIGNALED(status)) {
        const char* name = strsignal(WTERMSIG(status));
        return {false, "was killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                           (name != nullptr ? name : "unknown") + ")"};
    }
    return {false, "ended with wait status " + std::to_string(status)};
}

// Reaps `pid` if it has ended.
bool reaped(pid_t pid, Ending& ending)
{
    int status = 0;
    pid_t got = 0;
    do {
        got = ::waitpid(pid, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid) {
        ending = endingOf(status);
        return true;
    }
    if (got < 0) {  // not ours to wait for any more
        ending = {false, "could not be waited for: " + std::string(std::strerror(errno))};
        return true;
    }
    return false;
}

}  // namespace

bool start(Child& child, const std::vector<std::string>& command, std::string& error,
           const std::vector<std::string>& environment, bool watchOutput)
{
    int pipeEnds[2] = {-1, -1};
    if (watchOutput && ::pipe(pipeEnds) != 0) {
        error = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (watchOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    }
    std::vector<char*> argv = argumentVector(command);
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view kept(*entry);
        const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& added) {
            return kept.substr(0, kept.find('=') + 1) == std::string_view(added).substr(0, added.find('=') + 1);
        });
        if (!replaced) {
            envp.push_back(*entry);
        }
    }
    for (const std::string& added : environment) {
        envp.push_back(const_cast<char*>(added.c_str()));  // posix_spawn copies, never writes
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int status = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (watchOutput) {
        ::close(pipeEnds[1]);
        ::fcntl(pipeEnds[0], F_SETFL, ::fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK);
    }
    if (status != 0) {
        if (watchOutput) {
            ::close(pipeEnds[0]);
        }
        error = std::strerror(status);
        return false;
    }
    child.output = pipeEnds[0];
    child.pid = pid;
    child.running = true;
    return true;
}

std::optional<std::size_t> waitAny(std::vector<Child>& children, Ending& ending, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!console::stopRequested()) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (children[i].running && reaped(static_cast<pid_t>(children[i].pid), ending)) {
                children[i].running = false;
                return i;
            }
        }
        if (Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(poll);
    }
    return std::nullopt;
}

void stopAll(std::vector<Child>& children, std::chrono::milliseconds grace)
{
    for (const Child& child : children) {
        if (child.running) {
            ::kill(static_cast<pid_t>(child.pid), SIGTERM);
        }
    }
    const auto deadline = Clock::now() + grace;
    Ending ignored;
    for (bool left = true; left;) {
        left = false;
        for (Child& child : children) {
            if (child.running && reaped(static_cast<pid_t>(child.pid), ignored)) {
                child.running = false;
            }
            left = left || child.running;
        }
        if (left && Clock::now() >= deadline) {
            for (Child& child : children) {
                if (child.running) {
                    ::kill(static_cast<pid_t>(child.pid), SIGKILL);
                    while (::waitpid(static_cast<pid_t>(child.pid), nullptr, 0) < 0 && errno == EINTR) {
                    }
                    child.running = false;
                }
            }
            left = false;
        }
        if (left) {
            std::this_thread::sleep_for(poll);
        }
    }
}

std::string takeOutput(Child& child)
{
    std::string taken;
    char buffer[4096];
    while (child.output >= 0 && taken.size() < outputLimit) {
        const ssize_t got = ::read(static_cast<int>(child.output), buffer, sizeof buffer);
        if (got > 0) {
            taken.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            ::close(static_cast<int>(child.output));  // its end, or a broken pipe
            child.output = -1;
        } else if (errno != EINTR) {
            break;  // nothing more for now
        }
    }
    return taken;
}

Captured capture(const std::vector<std::string>& command, std::chrono::milliseconds limit)
{
    Captured captured;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        captured.error = std::strerror(errno);
        return captured;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    std::vector<char*> argv = argumentVector(command);
    pid_t pid = 0;
    const int status = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (status != 0) {
        ::close(pipeEnds[0]);
        captured.error = std::strerror(status);
        return captured;
    }
    captured.started = true;
    const auto deadline = Clock::now() + limit;
    char buffer[4096];
    bool open = true;
    while (open && !console::stopRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd waiting{pipeEnds[0], POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(std::min<long long>(left, 100))) <= 0) {
            continue;
        }
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got > 0) {
            captured.output.append(buffer, static_cast<std::size_t>(got));
            captured.output.resize(std::min(captured.output.size(), outputLimit));
        } else if (got == 0 || errno != EINTR) {
            open = false;
        }
    }
    ::close(pipeEnds[0]);
    // Output closed: the program ends about now; give it what is left of the limit.
    while (Clock::now() < deadline && !console::stopRequested()) {
        if (reaped(pid, captured.ending)) {
            captured.finished = true;
            return captured;
        }
        std::this_thread::sleep_for(poll);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return captured;
}

bool isProgram(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (isProgram(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/'));
}

}  // namespace processes
