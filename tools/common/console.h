// The tools' console: whether a stream is a terminal, stopping at once on
// Ctrl-C or a termination request (also in the middle of a blocked read or
// a long wait), and the command line as UTF-8.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace console {

bool isTerminal(std::FILE* stream);

// Ctrl-C, termination requests (and on Windows Ctrl-Break and closing the
// console window) set the stop flag instead of ending the process. On POSIX
// a blocked read returns (EINTR) instead of being restarted.
void catchStopRequests();
bool stopRequested();

// Sleeps until `deadline` or a stop request, whichever comes first; false when stopped.
bool sleepUntil(std::chrono::steady_clock::time_point deadline);

// The program's arguments in UTF-8 (on Windows from the wide command line,
// whatever the code page); `pointers` as argv for option parsing.
class Arguments {
public:
    Arguments(int argc, char** argv);
    int count() const { return static_cast<int>(pointers_.size()) - 1; }
    char** vector() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

}  // namespace console
