// Starting, watching and stopping the programs orvalink-fly runs: by pid or
// handle, only what it started. posix_spawn in processes_posix.cpp,
// CreateProcess in processes_win32.cpp.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace processes {

struct Child {
    std::string name;  // for messages: "fdm-relay", "FlightGear (screen 2)"
    std::intptr_t pid = 0;
    std::intptr_t handle = 0;  // Windows' process handle
    bool running = false;
    std::intptr_t output = -1;  // the pipe's read end carrying its standard output and error, when watched
};

// How a child ended.
struct Ending {
    bool clean = false;   // exit status 0
    std::string how;      // "exited with status 3", "was killed by signal 11 (Segmentation fault)"
};

// Starts `command` (its first element a path) with the standard streams and
// environment of this process, `environment` ("NAME=value") added or replacing.
bool start(Child& child, const std::vector<std::string>& command, std::string& error,
           const std::vector<std::string>& environment = {}, bool watchOutput = false);

// What a watched child printed since the last call, at most 64 kB, without
// waiting; empty when nothing came. The pipe closes when the child's end is read.
std::string takeOutput(Child& child);

// Waits until a child ends, a stop is requested or `limit` passes; the index of the one that ended.
std::optional<std::size_t> waitAny(std::vector<Child>& children, Ending& ending, std::chrono::milliseconds limit);

// Asks every running child to stop, and after `grace` forces the ones left.
void stopAll(std::vector<Child>& children, std::chrono::milliseconds grace);

struct Captured {
    bool started = false;
    bool finished = false;  // false: still running after the limit, and stopped
    Ending ending;
    std::string output;     // standard output and error together, at most 64 kB
    std::string error;      // why it did not start
};

// Runs `command` with no input to its end (at most `limit`), keeping what it prints.
Captured capture(const std::vector<std::string>& command, std::chrono::milliseconds limit);

// The path of `name` in the folders of PATH (on Windows, NAME.exe too); empty when none has it.
std::string findOnPath(const std::string& name);
// Whether `path` names a file this process may run.
bool isProgram(const std::string& path);
// The folder of this program's own file.
std::string ownFolder();
constexpr const char* executableSuffix =
#if defined(_WIN32)
    ".exe";
#else
    "";
#endif

}  // namespace processes
