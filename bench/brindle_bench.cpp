// SetMatlabPath on a 100,000-line pathdef.old next to a plain copy of the
// same file with the same C runtime calls (fgets and fputs, text mode),
// measured side by side. The target: the rewrite costs at most twice the copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ratio_reporter.h"
#include "set_matlab_path.h"

namespace fs = std::filesystem;

namespace {

const fs::path& folder()
{
    static const fs::path dir = [] {
        fs::path path = fs::temp_directory_path() / "brindle-bench";
        fs::create_directories(path);
        std::ofstream old(path / "pathdef.old", std::ios::binary);
        old << "function p = pathdef\np = [...\n%%% BEGIN ENTRIES %%%\n";
        for (int i = 0; i < 100000 - 6; ++i) {
            old << "     matlabroot,'\\toolbox\\package" << i << "\\subfolder;',...\n";
        }
        old << "%%% END ENTRIES %%%\n...\n];\n";
        return path;
    }();
    return dir;
}

void rewrite(benchmark::State& state)
{
    const std::string folders = "D:\\pkg" + (folder() / "").string();
    const std::int32_t count = 6;
    for (auto _ : state) {
        if (SetMatlabPath(0, &count, folders.c_str()) != 1) {
            state.SkipWithError("SetMatlabPath failed");
            return;
        }
    }
}

void plainCopy(benchmark::State& state)
{
    const std::string from = (folder() / "pathdef.old").string();
    const std::string to = (folder() / "copy.m").string();
    char piece[120];
    for (auto _ : state) {
        std::FILE* in = std::fopen(from.c_str(), "r");
        std::FILE* out = std::fopen(to.c_str(), "w");
        while (std::fgets(piece, sizeof piece, in) != nullptr) {
            std::fputs(piece, out);
        }
        std::fclose(in);
        std::fclose(out);
    }
}

BENCHMARK(rewrite)->Name("rewrite")->Unit(benchmark::kMillisecond);
BENCHMARK(plainCopy)->Name("plain_copy")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    const int status = bench::runAndCompare(argc, argv, {{"rewrite", "plain_copy", 2.0}});
    std::error_code ignored;
    fs::remove_all(folder(), ignored);
    return status;
}
