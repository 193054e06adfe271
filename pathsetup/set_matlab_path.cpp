// SetMatlabPath: one pass over pathdef.old in pieces of at most 119
// characters, writing each piece unchanged and the entry lines once,
// directly before the first line holding the end marker. A line too long
// for one piece is scanned whole, by a second reader that only moves
// forward, so that a marker anywhere in it is found and the entries never
// land inside a line. Pieces are handled by the count read, not as C
// strings, so a NUL byte in a line neither hides a line feed nor gets
// dropped. Fixed buffers, no heap.
#include "set_matlab_path.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "file_calls.h"

namespace brindle {

const FileCalls runtimeFileCalls{std::fopen, std::fgets, std::fwrite, std::fclose, std::ferror};
FileCalls fileCalls = runtimeFileCalls;

namespace {

constexpr const char* endMarker = "END ENTRIES";
constexpr std::size_t markerLength = 11;
constexpr const char* subfolderSuffixes[] = {"", "\\samples", "\\trim", "\\util", "\\fgutil"};
constexpr int numEntries = 5;

using Text = char[stringCapacity];

// Reads pathdef.old a second time to look at whole lines ahead of the copy.
struct Scout {
    std::FILE* file = nullptr;
    long line = 0;  // index of the line the scout stands at the start of
    bool failed = false;
};

// Length of `text`, reading at most `limit` characters of it.
std::size_t boundedLength(const char* text, std::size_t limit)
{
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    return length;
}

// Concatenates `parts` into `out`; false (and `out` cut) when they do not fit.
bool compose(Text& out, std::initializer_list<const char*> parts)
{
    std::size_t used = 0;
    for (const char* part : parts) {
        const std::size_t length = std::strlen(part);
        if (length > stringCapacity - 1 - used) {
            out[used] = '\0';
            return false;
        }
        std::memcpy(out + used, part, length);
        used += length;
    }
    out[used] = '\0';
    return true;
}

// Reads the next piece of `file` into `piece`; its length, or 0 at the end of
// the file or on a failed read. fgets gives no count and a piece may hold NUL
// bytes, so the buffer is filled with a byte that is neither NUL nor a line
// feed first: the terminator that fgets writes is then the last NUL in it.
std::size_t readPiece(Text& piece, std::FILE* file)
{
    std::memset(piece, 0x7f, sizeof piece);
    if (fileCalls.getLine(piece, stringCapacity, file) == nullptr) {
        return 0;
    }
    std::size_t length = stringCapacity - 1;
    while (length > 0 && piece[length] != '\0') {
        --length;
    }
    return length;
}

bool holdsMarker(const char* text, std::size_t length)
{
    return std::string_view(text, length).find(endMarker) != std::string_view::npos;
}

bool endsLine(const char* piece, std::size_t length) { return length > 0 && piece[length - 1] == '\n'; }

bool write(const char* text, std::size_t length, std::FILE* out)
{
    return fileCalls.write(text, 1, length, out) == length;
}

// Moves the scout to the start of line `target` and tells whether that whole line holds the marker.
bool lineHoldsMarker(Scout& scout, const char* backupPath, long target)
{
    if (scout.file == nullptr) {
        scout.file = fileCalls.open(backupPath, "r");
        if (scout.file == nullptr) {
            scout.failed = true;
            return false;
        }
    }
    Text piece;
    while (scout.line < target) {
        const std::size_t length = readPiece(piece, scout.file);
        if (length == 0) {
            scout.failed = true;  // the copy saw this line, so the scout must too
            return false;
        }
        if (endsLine(piece, length)) {
            ++scout.line;
        }
    }
    // The last characters of the line so far that could begin the marker, then the next piece.
    char window[markerLength - 1 + stringCapacity];
    std::size_t carried = 0;
    bool found = false;
    for (std::size_t length; (length = readPiece(piece, scout.file)) != 0;) {
        std::memcpy(window + carried, piece, length);
        const std::size_t seen = carried + length;
        found = found || holdsMarker(window, seen);
        if (endsLine(piece, length)) {
            scout.line = target + 1;
            return found;
        }
        carried = seen < markerLength - 1 ? seen : markerLength - 1;
        std::memmove(window, window + seen - carried, carried);
    }
    // The last line of the file ends without a line feed, or the read failed.
    scout.failed = fileCalls.error(scout.file) != 0;
    scout.line = target + 1;
    return found;
}

bool writeEntries(const Text (&entries)[numEntries], std::FILE* out)
{
    for (const Text& entry : entries) {
        if (!write(entry, std::strlen(entry), out)) {
            return false;
        }
    }
    return true;
}

// Copies `in` to `out` with the entries before the first marker line; false on a failed write.
bool copyWithEntries(std::FILE* in, std::FILE* out, const Text (&entries)[numEntries], Scout& scout,
                     const char* backupPath)
{
    Text piece;
    bool entriesWritten = false;
    bool atLineStart = true;
    long line = 0;
    for (std::size_t length; (length = readPiece(piece, in)) != 0;) {
        const bool wholeLine = endsLine(piece, length);
        if (!entriesWritten && atLineStart) {
            bool found = holdsMarker(piece, length);
            if (!found && !wholeLine && length == stringCapacity - 1) {
                found = lineHoldsMarker(scout, backupPath, line);
                if (scout.failed) {
                    return false;
                }
            }
            if (found) {
                if (!writeEntries(entries, out)) {
                    return false;
                }
                entriesWritten = true;
            }
        }
        if (!write(piece, length, out)) {
            return false;
        }
        atLineStart = wholeLine;
        if (wholeLine) {
            ++line;
        }
    }
    return true;
}

}  // namespace

}  // namespace brindle

extern "C" std::int32_t BRINDLE_CALL SetMatlabPath(std::int32_t /*reserved*/, const std::int32_t* packageLength,
                                                   const char* folders)
{
    using namespace brindle;
    if (packageLength == nullptr || folders == nullptr) {
        return 0;
    }
    // Longer folders than these do not fit the fixed strings: reject before touching a file.
    const std::size_t limit = maxPackageFolder + maxDefinitionFolder + 1;
    const std::size_t length = boundedLength(folders, limit);
    std::int32_t split = *packageLength;
    split = split < 0 ? 0 : split;
    const std::size_t packageChars = static_cast<std::size_t>(split) < length ? static_cast<std::size_t>(split) : length;
    if (packageChars > maxPackageFolder || length - packageChars > maxDefinitionFolder) {
        return 0;
    }

    // A quote in the package folder would end an entry's text early and break
    // MATLAB's whole path definition; a semicolon would split the entry.
    if (std::memchr(folders, '\'', packageChars) != nullptr || std::memchr(folders, ';', packageChars) != nullptr) {
        return 0;
    }

    Text package;
    Text definitionPath;
    Text backupPath;
    std::memcpy(package, folders, packageChars);
    package[packageChars] = '\0';
    const char* definitionFolder = folders + packageChars;
    // Within the folder limits every string fits; the checks only guard the limits.
    bool fits = compose(definitionPath, {definitionFolder, "pathdef.m"}) &&
                compose(backupPath, {definitionFolder, "pathdef.old"});
    Text entries[numEntries];
    for (int i = 0; i < numEntries; ++i) {
        fits = fits && compose(entries[i], {"'", package, subfolderSuffixes[i], ";',...\n"});
    }
    if (!fits) {
        return 0;
    }

    std::FILE* in = fileCalls.open(backupPath, "r");
    if (in == nullptr) {
        return 0;
    }
    std::FILE* out = fileCalls.open(definitionPath, "w");
    if (out == nullptr) {
        fileCalls.close(in);
        return 0;
    }
    Scout scout;
    bool complete = copyWithEntries(in, out, entries, scout, backupPath);
    complete = complete && fileCalls.error(in) == 0;
    if (scout.file != nullptr) {
        fileCalls.close(scout.file);
    }
    fileCalls.close(in);
    if (fileCalls.close(out) != 0) {
        complete = false;
    }
    return complete ? 1 : 0;
}
