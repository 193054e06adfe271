// pathremove's line filter on any text and package folder: what it keeps is
// the text with whole lines taken out (as many as it reports), a second pass
// takes out nothing more, and the lines the setup writes always go.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "remove_matlab_path.h"

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::size_t end = feed == std::string::npos ? text.size() : feed + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    std::string package = data.ConsumeRandomLengthString(40);
    const bool insertOurs = data.ConsumeBool();
    std::string text = data.ConsumeRemainingBytesAsString();
    const std::string stripped = [&] {
        std::string p = package;
        while (!p.empty() && (p.back() == '\\' || p.back() == '/')) {
            p.pop_back();
        }
        return p;
    }();
    // Folders with a quote cannot be registered; the lines of any other are ours to find.
    const bool registrable = !stripped.empty() && stripped.find_first_of("'\n\r") == std::string::npos;
    if (insertOurs && registrable) {
        const std::size_t at = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
        text.insert(at, "'" + stripped + "\\util;',...\n");
    }

    std::size_t removed = 0;
    const std::string kept = pathremove::withoutEntries(text, package, removed);
    // Whole lines out, in order, as many as reported.
    const std::vector<std::string> before = linesOf(text);
    const std::vector<std::string> after = linesOf(kept);
    std::size_t j = 0;
    for (std::size_t i = 0; i < before.size() && j < after.size(); ++i) {
        if (before[i] == after[j]) {
            ++j;
        }
    }
    if (j != after.size() || before.size() - after.size() != removed) {
        __builtin_trap();
    }
    std::size_t again = 0;
    if (pathremove::withoutEntries(kept, package, again) != kept || again != 0) {
        __builtin_trap();
    }
    if (insertOurs && registrable && removed == 0) {
        __builtin_trap();
    }
    return 0;
}
