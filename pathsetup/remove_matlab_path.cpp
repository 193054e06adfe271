// RemoveMatlabPath: reads pathdef.m whole (a path definition is a few
// kilobytes; anything above maxFileSize is refused), drops the package's
// entry lines and writes the rest back byte for byte, line ends included.
#include "remove_matlab_path.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace pathremove {
namespace {

constexpr std::array<std::string_view, entryFolderCount> subfolderSuffixes = {"", "\\samples", "\\trim", "\\util",
                                                                             "\\fgutil"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char folded(char c)
{
    if (c == '/') {
        return '\\';
    }
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view withoutTrailingSeparators(std::string_view folder)
{
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        folder.remove_suffix(1);
    }
    return folder;
}

// The two texts as Windows compares folder names.
bool sameFolderText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (folded(a[i]) != folded(b[i])) {
            return false;
        }
    }
    return true;
}

// The folder an entry line names, without its ';'; empty when `line` is no entry line.
std::string_view entryFolder(std::string_view line)
{
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    if (at == line.size() || line[at] != '\'') {
        return {};
    }
    const std::size_t close = line.find('\'', at + 1);
    if (close == std::string_view::npos) {
        return {};
    }
    std::string_view folder = line.substr(at + 1, close - at - 1);
    at = close + 1;
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    if (at < line.size() && line[at] == ';') {  // the separator outside the quotes
        ++at;
    }
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    if (at < line.size() && line[at] == ',') {
        ++at;
    }
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    if (at < line.size() && line.substr(at, 3) != "...") {
        return {};  // more code after the string: not a plain entry
    }
    if (!folder.empty() && folder.back() == ';') {
        folder.remove_suffix(1);
    }
    return folder;
}

// Which of the package's five folders `line` names (0 the package folder, 1
// samples, 2 trim, 3 util, 4 fgutil), or -1 when it is no entry of them.
int packageEntry(std::string_view line, std::string_view packageFolder)
{
    const std::string_view folder = withoutTrailingSeparators(entryFolder(line));
    const std::string_view package = withoutTrailingSeparators(packageFolder);
    if (folder.size() < package.size() || !sameFolderText(folder.substr(0, package.size()), package)) {
        return -1;
    }
    const std::string_view rest = folder.substr(package.size());
    for (std::size_t i = 0; i < entryFolderCount; ++i) {
        if (sameFolderText(rest, subfolderSuffixes[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The lines of `text` in order: `visit(line, entry)` for each line with its
// line end, and which of the five folders it names (-1 for none).
template <typename Visit>
void forEachLine(std::string_view text, std::string_view packageFolder, Visit visit)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
        std::string_view line = text.substr(start, end - start);
        std::string_view content = line;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) {
            content.remove_suffix(1);
        }
        visit(line, packageEntry(content, packageFolder));
        start = end;
    }
}

// Reads `path` whole; false when it cannot be read or is larger than any path definition.
bool readDefinition(const std::string& path, std::string& text)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0 && text.size() <= maxFileSize) {
        text.append(chunk, got);
    }
    const bool readWhole = std::ferror(in) == 0 && text.size() <= maxFileSize;
    std::fclose(in);
    return readWhole;
}

}  // namespace

std::string withoutEntries(std::string_view text, std::string_view packageFolder, std::size_t& removed,
                           EntryCounts keep)
{
    removed = 0;
    std::string kept;
    kept.reserve(text.size());
    if (withoutTrailingSeparators(packageFolder).empty()) {
        kept.assign(text);
        return kept;
    }
    EntryCounts seen{};
    forEachLine(text, packageFolder, [&](std::string_view line, int entry) {
        if (entry >= 0 && seen[static_cast<std::size_t>(entry)]++ >= keep[static_cast<std::size_t>(entry)]) {
            ++removed;
        } else {
            kept.append(line);
        }
    });
    return kept;
}

EntryCounts countEntries(std::string_view text, std::string_view packageFolder)
{
    EntryCounts counts{};
    if (!withoutTrailingSeparators(packageFolder).empty()) {
        forEachLine(text, packageFolder, [&](std::string_view, int entry) {
            if (entry >= 0) {
                ++counts[static_cast<std::size_t>(entry)];
            }
        });
    }
    return counts;
}

std::int32_t packed(const EntryCounts& counts)
{
    std::int32_t word = 0;
    for (std::size_t i = entryFolderCount; i-- > 0;) {
        word = word * 16 + static_cast<std::int32_t>(std::min<std::size_t>(counts[i], 15));
    }
    return word;
}

EntryCounts unpacked(std::int32_t word)
{
    EntryCounts counts{};
    const auto bits = static_cast<std::uint32_t>(word);
    for (std::size_t i = 0; i < entryFolderCount; ++i) {
        counts[i] = (bits >> (4 * i)) & 15u;
    }
    return counts;
}

bool replaceFile(const std::string& path, std::string_view text)
{
    const std::string partial = path + ".orvalink-new";
    std::FILE* out = std::fopen(partial.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed || !moveOver(partial, path)) {
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

}  // namespace pathremove

extern "C" std::int32_t PATHREMOVE_CALL RemoveMatlabPath(const char* packageFolder, const char* definitionFolder)
{
    return RemoveMatlabPathKeeping(packageFolder, definitionFolder, 0);
}

extern "C" std::int32_t PATHREMOVE_CALL RemoveMatlabPathKeeping(const char* packageFolder, const char* definitionFolder,
                                                               std::int32_t keep)
{
    using namespace pathremove;
    if (packageFolder == nullptr || definitionFolder == nullptr) {
        return -1;
    }
    try {
        const std::string path = std::string(definitionFolder) + "pathdef.m";
        std::string text;
        if (!readDefinition(path, text)) {
            return -1;
        }
        std::size_t removed = 0;
        const std::string kept = withoutEntries(text, packageFolder, removed, unpacked(keep));
        if (removed == 0) {
            return 0;
        }
        return replaceFile(path, kept) ? static_cast<std::int32_t>(removed) : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

extern "C" std::int32_t PATHREMOVE_CALL CountMatlabPathEntries(const char* packageFolder, const char* definitionFolder)
{
    using namespace pathremove;
    if (packageFolder == nullptr || definitionFolder == nullptr) {
        return -1;
    }
    try {
        std::string text;
        if (!readDefinition(std::string(definitionFolder) + "pathdef.m", text)) {
            return -1;
        }
        return packed(countEntries(text, packageFolder));
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

extern "C" std::int32_t PATHREMOVE_CALL FilesEqual(const char* first, const char* second)
{
    if (first == nullptr || second == nullptr) {
        return -1;
    }
    std::FILE* a = std::fopen(first, "rb");
    std::FILE* b = std::fopen(second, "rb");
    std::int32_t result = a != nullptr && b != nullptr ? 1 : -1;
    char chunkA[4096];
    char chunkB[4096];
    while (result == 1) {
        const std::size_t gotA = std::fread(chunkA, 1, sizeof chunkA, a);
        const std::size_t gotB = std::fread(chunkB, 1, sizeof chunkB, b);
        if (std::ferror(a) != 0 || std::ferror(b) != 0) {
            result = -1;
        } else if (gotA != gotB || std::memcmp(chunkA, chunkB, gotA) != 0) {
            result = 0;
        } else if (gotA == 0) {
            break;
        }
    }
    if (a != nullptr) {
        std::fclose(a);
    }
    if (b != nullptr) {
        std::fclose(b);
    }
    return result;
}

extern "C" std::int32_t PATHREMOVE_CALL FileHash(const char* path)
{
    std::FILE* in = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (in == nullptr) {
        return 0;
    }
    std::uint32_t hash = 2166136261u;  // FNV-1a, 32 bits
    unsigned char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            hash = (hash ^ chunk[i]) * 16777619u;
        }
    }
    const bool readWhole = std::ferror(in) == 0;
    std::fclose(in);
    if (!readWhole) {
        return 0;
    }
    const auto folded = static_cast<std::int32_t>(hash & 0x7fffffffu);
    return folded != 0 ? folded : 1;
}
