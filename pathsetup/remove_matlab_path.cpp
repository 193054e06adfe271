// RemoveMatlabPath: reads pathdef.m whole (a path definition is a few
// kilobytes; anything above maxFileSize is refused), drops the package's
// entry lines and writes the rest back byte for byte, line ends included.
#include "remove_matlab_path.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace pathremove {
namespace {

constexpr std::array<std::string_view, 5> subfolderSuffixes = {"", "\\samples", "\\trim", "\\util", "\\fgutil"};

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

bool isPackageEntry(std::string_view line, std::string_view packageFolder)
{
    const std::string_view folder = withoutTrailingSeparators(entryFolder(line));
    const std::string_view package = withoutTrailingSeparators(packageFolder);
    if (folder.size() < package.size() || !sameFolderText(folder.substr(0, package.size()), package)) {
        return false;
    }
    const std::string_view rest = folder.substr(package.size());
    for (std::string_view suffix : subfolderSuffixes) {
        if (sameFolderText(rest, suffix)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string withoutEntries(std::string_view text, std::string_view packageFolder, std::size_t& removed)
{
    removed = 0;
    std::string kept;
    kept.reserve(text.size());
    if (withoutTrailingSeparators(packageFolder).empty()) {
        kept.assign(text);
        return kept;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
        std::string_view line = text.substr(start, end - start);
        std::string_view content = line;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) {
            content.remove_suffix(1);
        }
        if (isPackageEntry(content, packageFolder)) {
            ++removed;
        } else {
            kept.append(line);
        }
        start = end;
    }
    return kept;
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
    using namespace pathremove;
    if (packageFolder == nullptr || definitionFolder == nullptr) {
        return -1;
    }
    try {
        const std::string path = std::string(definitionFolder) + "pathdef.m";
        std::FILE* in = std::fopen(path.c_str(), "rb");
        if (in == nullptr) {
            return -1;
        }
        std::string text;
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0 && text.size() <= maxFileSize) {
            text.append(chunk, got);
        }
        const bool readWhole = std::ferror(in) == 0 && text.size() <= maxFileSize;
        std::fclose(in);
        if (!readWhole) {
            return -1;
        }
        std::size_t removed = 0;
        const std::string kept = withoutEntries(text, packageFolder, removed);
        if (removed == 0) {
            return 0;
        }
        return replaceFile(path, kept) ? static_cast<std::int32_t>(removed) : -1;
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
