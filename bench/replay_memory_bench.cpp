// fdm-replay's peak memory for a 1 MB and a 150 MB capture: it streams the
// file, so both should stay at a few MB. Each run writes the capture (30
// version-17 datagrams a second), replays it --fast to the discard port
// and reads the child's peak resident size from the system.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A classic pcap file of `count` raw-IP records, each a 336-byte version-17 datagram to port 5500.
void writeCapture(const std::string& path, long count)
{
    std::vector<std::uint8_t> header;
    for (std::uint32_t word : {0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 101u}) {
        put32(header, word);
    }
    std::vector<std::uint8_t> frame(364, 0);
    const std::uint8_t ip[] = {0x45, 0, 0x01, 0x6c, 0, 0, 0x40, 0, 64, 17, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1,
                               0x9c, 0x40, 0x15, 0x7c, 0x01, 0x58, 0, 0, 0, 0, 0, 17};
    std::copy(std::begin(ip), std::end(ip), frame.begin());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), file);
    for (long i = 0; i < count; ++i) {
        std::vector<std::uint8_t> record;
        put32(record, static_cast<std::uint32_t>(1700000000 + i / 30));
        put32(record, static_cast<std::uint32_t>(i % 30 * 33333));
        put32(record, static_cast<std::uint32_t>(frame.size()));
        put32(record, static_cast<std::uint32_t>(frame.size()));
        std::fwrite(record.data(), 1, record.size(), file);
        std::fwrite(frame.data(), 1, frame.size(), file);
    }
    std::fclose(file);
}

void replayPeakMemory(benchmark::State& state)
{
    const std::string path = (std::filesystem::temp_directory_path() / "replay_memory_bench.pcap").string();
    const long count = state.range(0) * 1'000'000 / 380;  // 380 bytes a record
    writeCapture(path, count);
    const std::string replay = std::string(ORVALINK_BIN_DIR) + "/fdm-replay";
    long peakKb = 0;
    for (auto _ : state) {
        std::vector<std::string> args{replay, path, "--fast", "--quiet", "--to", "127.0.0.1:9"};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);  // O_WRONLY: its refusal notes
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start fdm-replay");
            break;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        peakKb = usage.ru_maxrss;
    }
    std::filesystem::remove(path);
    state.counters["capture_MB"] = static_cast<double>(state.range(0));
    state.counters["peak_RSS_MB"] = static_cast<double>(peakKb) / 1024.0;
}
BENCHMARK(replayPeakMemory)->Arg(1)->Arg(150)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
