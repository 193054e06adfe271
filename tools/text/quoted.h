// Untrusted text in messages: quoted, cut short, unprintable bytes escaped.
// Depends on nothing but the standard library, so that the file-format code
// can use it without the command-line layer.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace text {

// Bytes of the printable UTF-8 character at `at` (beyond ASCII, no C1
// control, no overlong form or surrogate), 0 when there is none.
inline std::size_t printableUtf8(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
    const unsigned lead = byte(0);
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                             : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) {
            return 0;
        }
    }
    const unsigned second = byte(1);
    if ((lead == 0xc2 && second < 0xa0) || (lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
        (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f)) {
        return 0;
    }
    return length;
}

// `text` for a message: in single quotes, cut to about `limit` characters,
// with non-printable bytes escaped, so that no message repeats unbounded
// or binary input. Backslashes stay single (Windows paths read as typed)
// and UTF-8 letters stay letters.
inline std::string quoted(std::string_view text, std::size_t limit = 60)
{
    std::string out = "'";
    std::size_t shown = 0;
    for (std::size_t at = 0; at < text.size(); ++shown) {
        if (shown == limit) {
            out += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\'') {
            out += "\\'";
        } else if (byte >= 0x20 && byte < 0x7f) {
            out += text[at];
        } else if (const std::size_t length = printableUtf8(text, at); length > 0) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        }
        ++at;
    }
    return out + "'";
}

}  // namespace text
