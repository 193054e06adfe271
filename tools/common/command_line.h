// What the command-line tools share: usage errors, number options, and
// the wait of a receive loop that stops after a time limit.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace command_line {

struct Program {
    const char* name;
    void (*usage)(std::FILE* out);
};

// Names what was wrong, shows the usage, and exits with status 2.
[[noreturn]] inline void badUsage(const Program& program, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program.name, message.c_str());
    program.usage(stderr);
    std::exit(2);
}

// The finite number an option was given, at least `least`.
inline double number(const Program& program, const std::string& option, const char* text,
                     double least = -std::numeric_limits<double>::infinity())
{
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || !std::isfinite(value) || value < least) {
        char bound[48] = "";
        if (least > -std::numeric_limits<double>::infinity()) {
            std::snprintf(bound, sizeof bound, " of at least %g", least);
        }
        badUsage(program, option + " needs a number" + bound + ", got '" + text + "'");
    }
    return value;
}

// Milliseconds a receive may wait: at most `slice`, never past `timeout`
// seconds after `started` (no limit when negative); -1 once the time is up.
inline int receiveWait(std::chrono::steady_clock::time_point started, double timeout, int slice = 200)
{
    if (timeout < 0) {
        return slice;
    }
    const double left = timeout - std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return left <= 0 ? -1 : static_cast<int>(std::min<double>(slice, std::ceil(left * 1000.0)));
}

}  // namespace command_line
