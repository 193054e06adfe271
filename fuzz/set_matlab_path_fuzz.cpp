// SetMatlabPath against a small independent model of the rewrite, on
// arbitrary pathdef.old contents, folders and counts, long lines and
// folders beyond their limits included. NUL bytes cannot stand in a text
// line, so the contents carry none.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "set_matlab_path.h"

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

const std::string& workFolder()
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/brindle-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made) + "/";
    }();
    return folder;
}

// What the rewrite must produce: the entry lines directly before the first
// whole line that holds the marker, every byte of pathdef.old kept.
std::string model(const std::string& old, const std::string& package)
{
    std::string entries;
    for (const char* suffix : {"", "\\samples", "\\trim", "\\util", "\\fgutil"}) {
        entries += "'" + package + suffix + ";',...\n";
    }
    std::size_t lineStart = 0;
    while (lineStart < old.size()) {
        const std::size_t lineEnd = old.find('\n', lineStart);
        const std::size_t next = lineEnd == std::string::npos ? old.size() : lineEnd + 1;
        if (old.substr(lineStart, next - lineStart).find("END ENTRIES") != std::string::npos) {
            return old.substr(0, lineStart) + entries + old.substr(lineStart);
        }
        lineStart = next;
    }
    return old;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const std::string& folder = workFolder();
    std::string package = data.ConsumeRandomLengthString(130);
    for (char& c : package) {
        c = c == '\0' ? 'p' : c;
    }
    std::string definition = folder;
    if (data.ConsumeBool() && data.ConsumeBool()) {
        definition = std::string(data.ConsumeIntegralInRange<std::size_t>(100, 130), 'd') + "/";  // long and missing
    }
    const std::int32_t count = data.ConsumeBool() ? static_cast<std::int32_t>(package.size()) : data.ConsumeIntegral<std::int32_t>();
    std::string old = data.ConsumeRemainingBytesAsString();
    for (char& c : old) {
        c = c == '\0' ? '\1' : c;
    }
    // A marker often enough, and sometimes far into a long line.
    if (!old.empty() && static_cast<unsigned char>(old[0]) % 3 == 0) {
        old.insert(static_cast<std::size_t>(static_cast<unsigned char>(old.back())) % old.size(), "END ENTRIES");
    }
    writeFile(folder + "pathdef.old", old);
    writeFile(folder + "pathdef.m", "before");

    const std::string folders = package + definition;
    const std::size_t length = folders.size();
    const std::size_t split = count < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(count), length);
    const std::string expectedPackage = folders.substr(0, split);
    const std::string expectedDefinition = folders.substr(split);

    const int result = SetMatlabPath(0, &count, folders.c_str());
    const std::string written = readFile(folder + "pathdef.m");
    // The split may still name our folder another way ("//tmp/..."): compare the files themselves.
    struct stat ours {};
    struct stat named {};
    const bool usable = expectedPackage.size() <= 103 && expectedDefinition.size() <= 108 &&
                        expectedPackage.find_first_of("';") == std::string::npos &&
                        stat((folder + "pathdef.old").c_str(), &ours) == 0 &&
                        stat((expectedDefinition + "pathdef.old").c_str(), &named) == 0 && ours.st_ino == named.st_ino &&
                        ours.st_dev == named.st_dev;
    if (usable) {
        if (result != 1 || written != model(old, expectedPackage)) {
            __builtin_trap();
        }
    } else if (result != 0 || written != "before") {
        __builtin_trap();
    }
    if (readFile(folder + "pathdef.old") != old) {
        __builtin_trap();
    }
    return 0;
}
