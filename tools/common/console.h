// The tools' console: whether a stream is a terminal, and stopping at once
// on Ctrl-C or a termination request, also in the middle of a long wait.
#pragma once

#include <chrono>
#include <cstdio>

namespace console {

bool isTerminal(std::FILE* stream);

// Ctrl-C and termination requests set the stop flag instead of ending the process.
void catchStopRequests();
bool stopRequested();

// Sleeps until `deadline` or a stop request, whichever comes first; false when stopped.
bool sleepUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace console
