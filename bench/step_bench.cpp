// Cost of one sample hit next to the system call it makes: mdlOutputs of
// the loaded block (encode and send), a bare send of 336 bytes on the same
// kind of socket (connected, non-blocking, loopback), and the encoder alone.
// The target: a step costs at most 1.05 times a bare send, so does a step of
// the one-file source for mex (mex_step), and, against a bare send of 408
// bytes, its version-24 step (mex_step_v24) and fmi2DoStep of the FMU
// (fmu_step, also version 24), and a step of
// orvalink-run --fast (runner_step: demo flight, inputs copied) at most 1.10. encode_and_send
// (the encoder and a send, no block) shows how much of a gap is the block's own.
// The controls block (its one-file source): a step with nothing queued costs
// at most 1.10 times a bare non-blocking receive that finds nothing
// (controls_step_idle / bare_receive_idle), and a step that takes one
// datagram at most 1.10 times a bare receive of it, its decoding and the
// receive that finds the queue empty (controls_step_one / receive_and_decode;
// the send before each is not timed).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "controls_encode.h"
#include "fdm_packet.h"
#include "fmi2.h"
#include "mex_host/second_host.h"
#include "flight_inputs.h"
#include "host_driver.h"
#include "ratio_reporter.h"
#include "udp_socket.h"

namespace {

// A receiver that is never read: loopback drops what does not fit, as a
// slow simulator would.
udp::Socket& sink()
{
    static udp::Socket socket = [] {
        std::string error;
        std::optional<udp::Socket> bound = udp::Socket::bound(udp::Endpoint{"127.0.0.1", 0}, error);
        if (!bound) {
            std::fprintf(stderr, "step_bench: %s\n", error.c_str());
            std::exit(1);
        }
        return std::move(*bound);
    }();
    return socket;
}

// The block loaded by name, registered with the sink as its destination.
std::unique_ptr<emulated_host::HostBlock> startedBlock(std::string& error)
{
    static std::optional<emulated_host::MexFile> file = emulated_host::loadMexFile(emulated_host::mexFileName("orvalink"), error);
    if (!file) {
        return nullptr;
    }
    auto block = std::make_unique<emulated_host::HostBlock>(file->entry);
    std::vector<emulated_host::Array> params;
    params.push_back(emulated_host::doubleArray({0.01}));
    params.push_back(emulated_host::charArray("127.0.0.1"));
    params.push_back(emulated_host::doubleArray({static_cast<double>(sink().localPort())}));
    block->setDialogParameters(std::move(params));
    if (block->registerBlock().failed || !block->initializeSampleTimes().empty() || !(error = block->start()).empty()) {
        return nullptr;
    }
    return block;
}

void step(benchmark::State& state)
{
    std::string error;
    auto block = startedBlock(error);
    if (!block) {
        state.SkipWithError(error.c_str());
        return;
    }
    SimStruct* S = &block->simStruct();
    double value = 0.0;
    for (auto _ : state) {
        block->input(1)[0] = value;
        value += 1e-3;
        S->methods.mdlOutputs(S, 0);
    }
    block->terminate();
}

// The same step of the one-file source that users build with mex, compiled
// against the tests' second host.
// state.range(0) is the FdmVersion it is given: 17 or 24.
void mexStep(benchmark::State& state)
{
    std::vector<second_host::Parameter> params;
    params.push_back(second_host::Parameter::doubles({0.01}));
    params.push_back(second_host::Parameter::text("127.0.0.1"));
    params.push_back(second_host::Parameter::doubles({static_cast<double>(sink().localPort())}));
    params.push_back(second_host::Parameter::doubles({static_cast<double>(state.range(0))}));
    second_host::Block block(second_host::Entry::mexFile, std::move(params));
    block.registerBlock();
    if (!block.initializeSampleTimes().empty() || !block.start().empty()) {
        state.SkipWithError("the one-file block did not start");
        return;
    }
    double value = 0.0;
    for (auto _ : state) {
        block.input(1)[0] = value;
        value += 1e-3;
        block.outputsOnly();
    }
    block.terminate();
}

// A connected, non-blocking UDP socket to the sink, as the block opens; -1 on failure.
int bareSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(sink().localPort());
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        return -1;
    }
    return fd;
}

// A bare send of `state.range(0)` bytes: 336 (version 17) or 408 (version 24).
void bareSend(benchmark::State& state)
{
    const int fd = bareSocket();
    if (fd < 0) {
        state.SkipWithError("cannot open the socket");
        return;
    }
    std::array<std::uint8_t, 408> packet{};
    const auto size = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(::send(fd, packet.data(), size, MSG_NOSIGNAL));
    }
    ::close(fd);
}

// fmi2DoStep of the FMU, loaded as an importer loads it, sending version 24.
void fmuStep(benchmark::State& state)
{
    std::string error;
    std::optional<emulated_host::LoadedLibrary> library = emulated_host::LoadedLibrary::open(ORVALINK_FMU_LIBRARY, error);
    if (!library) {
        state.SkipWithError(error.c_str());
        return;
    }
#define FMI_FUNCTION(name) const auto name = reinterpret_cast<decltype(&::name)>(library->symbol(#name))
    FMI_FUNCTION(fmi2Instantiate);
    FMI_FUNCTION(fmi2SetInteger);
    FMI_FUNCTION(fmi2SetReal);
    FMI_FUNCTION(fmi2EnterInitializationMode);
    FMI_FUNCTION(fmi2ExitInitializationMode);
    FMI_FUNCTION(fmi2DoStep);
    FMI_FUNCTION(fmi2FreeInstance);
#undef FMI_FUNCTION
    fmi2CallbackFunctions callbacks{};
    fmi2Component c = fmi2Instantiate("bench", fmi2CoSimulation, ORVALINK_FMU_GUID, "", &callbacks, fmi2False, fmi2False);
    const fmi2ValueReference portRef = 100;
    const fmi2Integer port = sink().localPort();
    if (c == nullptr || fmi2SetInteger(c, &portRef, 1, &port) != fmi2OK || fmi2EnterInitializationMode(c) != fmi2OK ||
        fmi2ExitInitializationMode(c) != fmi2OK) {
        state.SkipWithError("the FMU did not start");
        fmi2FreeInstance(c);
        return;
    }
    const fmi2ValueReference rollRef = 3;
    const double roll = 0.1;
    fmi2SetReal(c, &rollRef, 1, &roll);
    double time = 0.0;
    for (auto _ : state) {  // each step encodes, translates and sends anew
        benchmark::DoNotOptimize(fmi2DoStep(c, time, 0.01, fmi2True));
        time += 0.01;
    }
    fmi2FreeInstance(c);
}

// Ports laid out as the host lays them out: one array of 28 doubles.
struct Inputs {
    std::array<double, 28> values{};
    fdm17::InputPorts ports{};
    Inputs()
    {
        const int widths[] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
        std::size_t at = 0;
        for (std::size_t port = 0; port < 9; ++port) {
            values[at] = 0.1 * static_cast<double>(port);
            ports[port] = &values[at];
            at += static_cast<std::size_t>(widths[port]);
        }
    }
};

void encodeOnly(benchmark::State& state)
{
    Inputs inputs;
    std::array<std::uint8_t, fdm17::packetSize> packet{};
    for (auto _ : state) {
        inputs.values[3] += 1e-3;
        fdm17::encode(packet.data(), inputs.ports, 1234567890u);
        benchmark::DoNotOptimize(packet.data());
    }
}

// The encoder and a send without the block around them: what a step costs
// at the least, so that step against this shows the block's own overhead.
void encodeAndSend(benchmark::State& state)
{
    const int fd = bareSocket();
    if (fd < 0) {
        state.SkipWithError("cannot open the socket");
        return;
    }
    Inputs inputs;
    std::array<std::uint8_t, fdm17::packetSize> packet{};
    for (auto _ : state) {
        inputs.values[3] += 1e-3;
        fdm17::encode(packet.data(), inputs.ports, static_cast<std::uint32_t>(std::time(nullptr)));
        benchmark::DoNotOptimize(::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL));
    }
    ::close(fd);
}

// One step of orvalink-run --fast: the next demo state, copied into the
// ports, mdlOutputs through the host's slot with its error status read, and
// every 64 steps the socket asked for a refusal.
void runnerStep(benchmark::State& state)
{
    std::string error;
    auto block = startedBlock(error);
    if (!block) {
        state.SkipWithError(error.c_str());
        return;
    }
    runner::DemoFlight demo(21.3187, -157.9225);
    const auto socket = static_cast<std::intptr_t>(static_cast<const int*>(block->pwork()[0])[0]);
    long long steps = 0;
    for (auto _ : state) {
        if (steps++ % 64 == 0) {  // as often as the runner asks for a refusal with --fast
            benchmark::DoNotOptimize(udp::takePendingError(socket));
        }
        const runner::Inputs& inputs = demo.next(0.01);
        std::size_t at = 0;
        for (int port = 0; port < runner::numPorts; ++port) {
            for (double& element : block->input(port)) {
                element = inputs[at++];
            }
        }
        benchmark::DoNotOptimize(block->outputs().empty());
    }
    block->terminate();
}

// A loopback port of its own for the controls, and a connected sender to it.
struct ControlsPort {
    std::uint16_t port = 0;
    int sender = -1;
    std::array<std::uint8_t, ctrls27::packetSize> datagram{};
    ControlsPort()
    {
        std::string error;
        if (auto probe = udp::Socket::bound(udp::Endpoint{"127.0.0.1", 0}, error)) {
            port = probe->localPort();
        }
        ctrls27::Controls controls{};
        controls.flight[ctrls27::AILERON] = 0.25;
        ctrls27::encode(datagram.data(), controls);
        sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (sender >= 0 && ::connect(sender, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            ::close(sender);
            sender = -1;
        }
    }
    ~ControlsPort()
    {
        if (sender >= 0) {
            ::close(sender);
        }
    }
    void send() const { (void)::send(sender, datagram.data(), datagram.size(), MSG_NOSIGNAL); }
};

// A bound, non-blocking socket on `port`, as the controls block opens; -1 on failure.
int boundSocket(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        return -1;
    }
    return fd;
}

void bareReceiveIdle(benchmark::State& state)
{
    const ControlsPort controls;
    const int fd = boundSocket(controls.port);
    if (fd < 0) {
        state.SkipWithError("cannot bind the socket");
        return;
    }
    std::array<std::uint8_t, ctrls27::packetSize + 1> buffer{};
    for (auto _ : state) {  // timed as the block's step is, clock reads included
        const auto begin = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    ::close(fd);
}

// One datagram sent (not timed), then received and decoded, and the socket
// asked once more, finding nothing (timed): the least a step that takes
// every queued datagram does when one is there.
void receiveAndDecode(benchmark::State& state)
{
    const ControlsPort controls;
    const int fd = boundSocket(controls.port);
    if (fd < 0 || controls.sender < 0) {
        state.SkipWithError("cannot open the sockets");
        return;
    }
    std::array<std::uint8_t, ctrls27::packetSize + 1> buffer{};
    ctrls27::Controls decoded{};
    for (auto _ : state) {
        controls.send();
        const auto begin = std::chrono::steady_clock::now();
        const long length = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        benchmark::DoNotOptimize(ctrls27::decode(buffer.data(), static_cast<std::size_t>(length), decoded));
        benchmark::DoNotOptimize(::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    ::close(fd);
}

// The controls block's step, of its one-file source against the second host:
// state.range(0) is 0 for nothing queued, 1 for one datagram sent (not timed) before each.
void controlsStep(benchmark::State& state)
{
    const ControlsPort controls;
    std::vector<second_host::Parameter> params;
    params.push_back(second_host::Parameter::doubles({0.01}));
    params.push_back(second_host::Parameter::text("127.0.0.1"));
    params.push_back(second_host::Parameter::doubles({static_cast<double>(controls.port)}));
    second_host::Block block(second_host::Entry::controlsMexFile, std::move(params));
    block.registerBlock();
    if (controls.sender < 0 || !block.initializeSampleTimes().empty() || !block.start().empty()) {
        state.SkipWithError("the controls block did not start");
        return;
    }
    const bool one = state.range(0) == 1;
    for (auto _ : state) {
        if (one) {
            controls.send();
        }
        const auto begin = std::chrono::steady_clock::now();
        block.outputsOnly();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    if (block.output(3)[0] != (one ? static_cast<double>(state.iterations()) : 0.0)) {
        state.SkipWithError("the step did not take what was sent");
    }
    block.terminate();
}

void clockQuery(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::time(nullptr));
    }
}

BENCHMARK(encodeAndSend)->Name("encode_and_send");
BENCHMARK(step)->Name("step");
BENCHMARK(mexStep)->Name("mex_step")->Arg(17);
BENCHMARK(mexStep)->Name("mex_step_v24")->Arg(24);
BENCHMARK(runnerStep)->Name("runner_step");
BENCHMARK(clockQuery)->Name("clock_query");
BENCHMARK(bareSend)->Name("bare_send")->Arg(336);
BENCHMARK(fmuStep)->Name("fmu_step");
BENCHMARK(bareSend)->Name("bare_send_408")->Arg(408);
BENCHMARK(encodeOnly)->Name("encode");
BENCHMARK(bareReceiveIdle)->Name("bare_receive_idle")->UseManualTime();
BENCHMARK(controlsStep)->Name("controls_step_idle")->Arg(0)->UseManualTime();
BENCHMARK(receiveAndDecode)->Name("receive_and_decode")->UseManualTime();
BENCHMARK(controlsStep)->Name("controls_step_one")->Arg(1)->UseManualTime();

// Keeps each benchmark's time per iteration for the ratio.
}  // namespace

int main(int argc, char** argv)
{
    return bench::runAndCompare(argc, argv, {{"step", "bare_send", 1.05}, {"mex_step", "bare_send", 1.05},
                                           {"mex_step_v24", "bare_send_408", 1.05}, {"fmu_step", "bare_send_408", 1.05}, {"runner_step", "bare_send", 1.10},
                                           {"controls_step_idle", "bare_receive_idle", 1.10},
                                           {"controls_step_one", "receive_and_decode", 1.10}});
}
