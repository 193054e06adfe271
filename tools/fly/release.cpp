// Release numbers and the packet each reads. FlightGear's own history:
// 0.9.4 reads version 17, 0.9.5 to 0.9.9 versions 18 to 23, 0.9.10 (2006)
// and every release since version 24.
#include "release.h"

#include <cctype>

namespace fly {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Reads up to three dot-separated numbers at `at` (at least two), each at most 6 digits.
std::optional<Release> releaseAt(std::string_view text, std::size_t at)
{
    Release release;
    int* parts[] = {&release.major, &release.minor, &release.patch};
    std::size_t i = at;
    int count = 0;
    while (count < 3 && i < text.size() && isDigit(text[i])) {
        int value = 0;
        std::size_t digits = 0;
        while (i < text.size() && isDigit(text[i])) {
            if (++digits > 6) {
                return std::nullopt;
            }
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        *parts[count++] = value;
        if (count < 3 && i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1])) {
            ++i;
        } else {
            break;
        }
    }
    if (count < 2) {
        return std::nullopt;
    }
    release.text = std::string(text.substr(at, i - at));
    return release;
}

std::optional<Release> firstIn(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isDigit(text[i]) && (i == 0 || !(isDigit(text[i - 1]) || text[i - 1] == '.'))) {
            if (std::optional<Release> found = releaseAt(text, i)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Release> findRelease(std::string_view output)
{
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string_view::npos) {
            end = output.size();
        }
        const std::string_view line = output.substr(start, end - start);
        const std::size_t name = line.find("FlightGear");
        // After the name: a log line's time stamp comes before it.
        if (name != std::string_view::npos) {
            if (std::optional<Release> found = firstIn(line.substr(name))) {
                return found;
            }
        }
        start = end + 1;
    }
    return std::nullopt;  // a crash, a log line or nothing: no release named
}

Choice routeFor(const Release& release)
{
    const bool zeroNine = release.major == 0 && release.minor == 9;
    if (release.major == 0 && (release.minor < 9 || (zeroNine && release.patch < 4))) {
        return {Route::refuse, "reads a packet version older than 17"};
    }
    if (zeroNine && release.patch == 4) {
        return {Route::direct, ""};
    }
    if (zeroNine && release.patch <= 9) {
        return {Route::refuse, "reads a packet version from 18 to 23"};
    }
    return {Route::relay, ""};
}

}  // namespace fly
