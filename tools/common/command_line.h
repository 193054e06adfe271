// What the command-line tools share: option parsing (--name value and
// --name=value), strict number options, usage errors in one line, quoting
// of untrusted input in messages, and the wait of a receive loop that stops
// after a time limit.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "quoted.h"

#ifndef ORVALINK_VERSION
#  define ORVALINK_VERSION "unknown"
#endif

namespace command_line {

struct Program {
    const char* name;
    void (*usage)(std::FILE* out);
    bool takesRest = false;  // "--" ends the options; what follows is rest()
};

using text::quoted;

// Names what was wrong in one line that points to --help, and exits with status 2.
[[noreturn]] inline void badUsage(const Program& program, const std::string& message)
{
    std::fprintf(stderr, "%s: %s (try '%s --help')\n", program.name, message.c_str(), program.name);
    std::exit(2);
}

// Walks the arguments: each option as a name and, when it takes one, a
// value given either as the next argument or after '='.
class Arguments {
public:
    Arguments(const Program& program, int argc, char** argv) : program_(program), argc_(argc), argv_(argv) {}

    // The next option's name, false when none is left. --help and --version are answered here.
    bool next()
    {
        if (valuePending_) {
            badUsage(program_, name_ + " takes no value");
        }
        if (++index_ >= argc_) {
            return false;
        }
        const std::string arg = argv_[index_];
        if (arg == "--" && program_.takesRest) {
            rest_ = index_ + 1;
            index_ = argc_;
            return false;
        }
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name_ = arg.substr(0, equals);
            inlineValue_ = arg.substr(equals + 1);
            valuePending_ = true;
        } else {
            name_ = arg;
            valuePending_ = false;
        }
        if (name_ == "--help" || name_ == "-h") {
            program_.usage(stdout);
            std::exit(0);
        }
        if (name_ == "--version") {
            std::printf("%s %s\n", program_.name, ORVALINK_VERSION);
            std::exit(0);
        }
        return true;
    }

    const std::string& name() const { return name_; }
    // The last value read, as typed.
    const std::string& lastValue() const { return lastValue_; }
    // The arguments after "--", once next() has returned false.
    std::vector<std::string> rest() const
    {
        return rest_ == 0 ? std::vector<std::string>{} : std::vector<std::string>(argv_ + rest_, argv_ + argc_);
    }
    bool is(std::string_view option) const { return name_ == option; }

    // The current option's value.
    std::string value()
    {
        if (valuePending_) {
            valuePending_ = false;
            lastValue_ = inlineValue_;
        } else if (index_ + 1 >= argc_) {
            badUsage(program_, name_ + " needs a value");
        } else {
            lastValue_ = argv_[++index_];
        }
        return lastValue_;
    }

    // The value as a finite number within [least, most]; `allowed` says what is allowed.
    double number(double least, double most, const char* allowed)
    {
        const std::string text = value();
        char* end = nullptr;
        const double parsed = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(parsed) || parsed < least || parsed > most) {
            refuse(text, allowed);
        }
        return parsed;
    }

    // The value as a whole number within [least, most].
    long long whole(long long least, long long most, const char* allowed)
    {
        const double parsed = number(static_cast<double>(least), static_cast<double>(most), allowed);
        if (parsed != std::floor(parsed)) {
            refuse(lastValue_, allowed);
        }
        return static_cast<long long>(parsed);
    }

    // The value as decimal digits only (no sign, point, exponent or hex) within [least, most].
    long long decimal(long long least, long long most, const char* allowed)
    {
        const std::string text = value();
        long long parsed = 0;
        const bool digits = !text.empty() && text.size() <= 18 &&
                            text.find_first_not_of("0123456789") == std::string::npos;
        if (digits) {
            for (const char c : text) {
                parsed = parsed * 10 + (c - '0');
            }
        }
        if (!digits || parsed < least || parsed > most) {
            refuse(text, allowed);
        }
        return parsed;
    }

    // A number above 0 (and at most `most`).
    double positive(double most, const char* allowed)
    {
        const double parsed = number(0.0, most, allowed);
        if (!(parsed > 0.0)) {
            refuse(lastValue_, allowed);
        }
        return parsed;
    }

    // Refuses the value just read.
    [[noreturn]] void refuse(const char* allowed) const { refuse(lastValue_, allowed); }
    [[noreturn]] void refuse(const std::string& text, const char* allowed) const
    {
        badUsage(program_, name_ + " " + command_line::quoted(text) + ": " + allowed);
    }
    [[noreturn]] void unknown() const
    {
        const bool option = name_.size() > 1 && name_[0] == '-';
        badUsage(program_, (option ? "unknown option " : "unexpected argument ") + command_line::quoted(name_));
    }

private:
    const Program& program_;
    int argc_;
    char** argv_;
    int index_ = 0;
    int rest_ = 0;
    std::string name_;
    std::string inlineValue_;
    std::string lastValue_;
    bool valuePending_ = false;
};

// Milliseconds a receive may wait: at most `slice`, never past `timeout`
// seconds after `started` (no limit when negative); -1 once the time is up.
inline int receiveWait(std::chrono::steady_clock::time_point started, double timeout, int slice = 100)
{
    if (timeout < 0) {
        return slice;
    }
    const double left = timeout - std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return left <= 0 ? -1 : static_cast<int>(std::min<double>(slice, std::ceil(left * 1000.0)));
}

}  // namespace command_line
