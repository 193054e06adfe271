// An FMI importer of our own: it loads the FMU's library as an FMI tool
// does, finds the fmi2 functions by name and runs the whole life cycle. The
// datagrams are compared byte for byte with the block's own (version 17)
// and with the relay's translation of those (version 24).
#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <thread>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>

#include "block_harness.h"
#include "controls_encode.h"
#include "datagram.h"
#include "fmi2.h"

namespace {

using test_support::Packet;

constexpr std::size_t timeOffset = 284;  // the clock word, at the same place in both versions
constexpr fmi2ValueReference portNumberRef = 100;
constexpr fmi2ValueReference fdmVersionRef = 101;
constexpr fmi2ValueReference datagramsSentRef = 200;
constexpr fmi2ValueReference hostNameRef = 300;
constexpr fmi2ValueReference controlsPortRef = 102;
constexpr fmi2ValueReference controlsTakenRef = 201;
constexpr fmi2ValueReference controlsRefusedRef = 202;
constexpr fmi2ValueReference controlsHostRef = 301;
constexpr fmi2ValueReference firstControlsRef = 400;  // 25 controls, then their age

// The importer's side: the functions found by name in the loaded library.
struct Fmu {
    emulated_host::LoadedLibrary library;
#define FMI_FUNCTION(name) decltype(&::name) name = reinterpret_cast<decltype(&::name)>(library.symbol(#name))
    FMI_FUNCTION(fmi2GetTypesPlatform);
    FMI_FUNCTION(fmi2GetVersion);
    FMI_FUNCTION(fmi2SetDebugLogging);
    FMI_FUNCTION(fmi2Instantiate);
    FMI_FUNCTION(fmi2FreeInstance);
    FMI_FUNCTION(fmi2SetupExperiment);
    FMI_FUNCTION(fmi2EnterInitializationMode);
    FMI_FUNCTION(fmi2ExitInitializationMode);
    FMI_FUNCTION(fmi2Terminate);
    FMI_FUNCTION(fmi2Reset);
    FMI_FUNCTION(fmi2GetReal);
    FMI_FUNCTION(fmi2GetInteger);
    FMI_FUNCTION(fmi2GetBoolean);
    FMI_FUNCTION(fmi2GetString);
    FMI_FUNCTION(fmi2SetReal);
    FMI_FUNCTION(fmi2SetInteger);
    FMI_FUNCTION(fmi2SetBoolean);
    FMI_FUNCTION(fmi2SetString);
    FMI_FUNCTION(fmi2GetFMUstate);
    FMI_FUNCTION(fmi2SetFMUstate);
    FMI_FUNCTION(fmi2FreeFMUstate);
    FMI_FUNCTION(fmi2SerializedFMUstateSize);
    FMI_FUNCTION(fmi2SerializeFMUstate);
    FMI_FUNCTION(fmi2DeSerializeFMUstate);
    FMI_FUNCTION(fmi2GetDirectionalDerivative);
    FMI_FUNCTION(fmi2SetRealInputDerivatives);
    FMI_FUNCTION(fmi2GetRealOutputDerivatives);
    FMI_FUNCTION(fmi2DoStep);
    FMI_FUNCTION(fmi2CancelStep);
    FMI_FUNCTION(fmi2GetStatus);
    FMI_FUNCTION(fmi2GetRealStatus);
    FMI_FUNCTION(fmi2GetIntegerStatus);
    FMI_FUNCTION(fmi2GetBooleanStatus);
    FMI_FUNCTION(fmi2GetStringStatus);
#undef FMI_FUNCTION
};

Fmu& fmu()
{
    static Fmu* loaded = [] {
        std::string error;
        std::optional<emulated_host::LoadedLibrary> library = emulated_host::LoadedLibrary::open(ORVALINK_FMU_LIBRARY, error);
        if (!library) {
            ADD_FAILURE() << error;
            std::abort();
        }
        return new Fmu{std::move(*library)};
    }();
    return *loaded;
}

// What the FMU logged, one line each: "<instance> <status> <category>: <message>".
struct Log {
    std::vector<std::string> lines;
    bool mentions(const std::string& text) const
    {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};

extern "C" void logger(fmi2ComponentEnvironment environment, fmi2String instanceName, fmi2Status status,
                       fmi2String category, fmi2String message, ...)
{
    char text[1024];
    va_list args;
    va_start(args, message);
    std::vsnprintf(text, sizeof text, message, args);
    va_end(args);
    static_cast<Log*>(environment)->lines.push_back(std::string(instanceName != nullptr ? instanceName : "(null)") +
                                                    " " + std::to_string(status) + " " +
                                                    (category != nullptr ? category : "(null)") + ": " + text);
}

// One instance, freed at the end of the test.
class Instance {
public:
    explicit Instance(const char* name = "flight", const char* guid = ORVALINK_FMU_GUID, fmi2Type type = fmi2CoSimulation)
    {
        callbacks_.logger = logger;
        callbacks_.componentEnvironment = &log;
        component = fmu().fmi2Instantiate(name, type, guid, "file:///nowhere/resources", &callbacks_, fmi2False, fmi2False);
    }
    ~Instance() { fmu().fmi2FreeInstance(component); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    fmi2Status setHost(const char* host) { return fmu().fmi2SetString(component, &hostNameRef, 1, &host); }
    fmi2Status setInteger(fmi2ValueReference vr, fmi2Integer value) { return fmu().fmi2SetInteger(component, &vr, 1, &value); }
    fmi2Integer integer(fmi2ValueReference vr)
    {
        fmi2Integer value = -1;
        EXPECT_EQ(fmu().fmi2GetInteger(component, &vr, 1, &value), fmi2OK);
        return value;
    }
    // Parameters, then through initialisation; the status of fmi2ExitInitializationMode.
    fmi2Status initialise(const char* host, fmi2Integer port, fmi2Integer version = 0)
    {
        EXPECT_EQ(setHost(host), fmi2OK);
        EXPECT_EQ(setInteger(portNumberRef, port), fmi2OK);
        if (version != 0) {
            EXPECT_EQ(setInteger(fdmVersionRef, version), fmi2OK);
        }
        EXPECT_EQ(fmu().fmi2SetupExperiment(component, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
        EXPECT_EQ(fmu().fmi2EnterInitializationMode(component), fmi2OK);
        return fmu().fmi2ExitInitializationMode(component);
    }
    fmi2Status setInputs(const std::vector<double>& values)
    {
        std::vector<fmi2ValueReference> refs(values.size());
        for (std::size_t i = 0; i < refs.size(); ++i) {
            refs[i] = static_cast<fmi2ValueReference>(i);
        }
        return fmu().fmi2SetReal(component, refs.data(), refs.size(), values.data());
    }

    Log log;
    fmi2Component component = nullptr;

private:
    fmi2CallbackFunctions callbacks_{};
};

// The 28 inputs of step `step`: distinct, full-mantissa values.
std::vector<double> inputsOf(int step)
{
    std::vector<double> values(28);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = (1.0 + 1.0 / 3.0) * static_cast<double>(i + 1) + 0.5 * step;
    }
    values[15] = step % 2 == 0 ? 1.0 : -1.0;  // the engine on, then off
    return values;
}

// The block's own datagram for those inputs, through the emulated host.
class OwnBlock {
public:
    OwnBlock() : receiver_(test_support::receiver())
    {
        block_ = test_support::registeredBlock(test_support::loadedEntry(),
                                               test_support::parameters("127.0.0.1", receiver_.localPort()));
        EXPECT_EQ(block_->start(), "");
    }
    ~OwnBlock() { block_->terminate(); }
    Packet datagram(const std::vector<double>& values)
    {
        std::size_t at = 0;
        for (int port = 0; port < 9; ++port) {
            for (double& element : block_->input(port)) {
                element = values[at++];
            }
        }
        EXPECT_EQ(block_->outputs(), "");
        return test_support::receive(receiver_);
    }

private:
    udp::Socket receiver_;
    std::unique_ptr<emulated_host::HostBlock> block_;
};

Packet withoutClock(Packet packet)
{
    if (packet.size() >= timeOffset + 4) {
        std::fill_n(packet.begin() + timeOffset, 4, 0);
    }
    return packet;
}

Packet translated(const Packet& packet17)
{
    Packet packet24(fdm24::packetSize);
    fdm24::translate17to24(packet17.data(), packet24.data());
    return packet24;
}

TEST(Fmu, names_its_platform_and_version)
{
    EXPECT_STREQ(fmu().fmi2GetTypesPlatform(), "default");
    EXPECT_STREQ(fmu().fmi2GetVersion(), "2.0");
}

TEST(Fmu, sends_the_blocks_version_17_datagram_each_step_and_nothing_before)
{
    udp::Socket receiver = test_support::receiver();
    OwnBlock own;
    Instance instance;
    ASSERT_NE(instance.component, nullptr);
    EXPECT_EQ(instance.setInputs(inputsOf(0)), fmi2OK);  // before initialisation
    ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort(), 17), fmi2OK);
    EXPECT_TRUE(test_support::receive(receiver, 200).empty());
    EXPECT_EQ(instance.integer(datagramsSentRef), 0);

    for (int step = 0; step < 3; ++step) {
        if (step > 0) {
            ASSERT_EQ(instance.setInputs(inputsOf(step)), fmi2OK);
        }
        const auto before = static_cast<std::uint32_t>(std::time(nullptr));
        ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.05 * step, 0.05, fmi2True), fmi2OK);
        const Packet sent = test_support::receive(receiver);
        ASSERT_EQ(sent.size(), 336u);
        EXPECT_GE(test_support::be32(sent, timeOffset), before);
        EXPECT_EQ(withoutClock(sent), withoutClock(own.datagram(inputsOf(step)))) << "step " << step;
        EXPECT_EQ(instance.integer(datagramsSentRef), step + 1);
    }
    EXPECT_TRUE(test_support::receive(receiver, 100).empty());  // exactly one a step
    EXPECT_EQ(fmu().fmi2Terminate(instance.component), fmi2OK);
}

TEST(Fmu, sends_the_relays_version_24_translation_by_default)
{
    udp::Socket receiver = test_support::receiver();
    OwnBlock own;
    Instance instance;
    ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
    EXPECT_EQ(instance.integer(fdmVersionRef), 24);
    for (int step = 0; step < 2; ++step) {
        ASSERT_EQ(instance.setInputs(inputsOf(step)), fmi2OK);
        ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.1 * step, 0.1, fmi2True), fmi2OK);
        const Packet sent = test_support::receive(receiver);
        ASSERT_EQ(sent.size(), 408u);
        EXPECT_EQ(test_support::be32(sent, 0), 24u);
        EXPECT_EQ(withoutClock(sent), withoutClock(translated(own.datagram(inputsOf(step))))) << "step " << step;
    }
    EXPECT_EQ(fmu().fmi2Terminate(instance.component), fmi2OK);
}

// What FlightGear cannot recover from is not sent in version 24 (as the
// relay would not forward it), and datagramsSent counts what went out.
TEST(Fmu, counts_only_what_it_sent_and_sends_no_version_24_position_that_is_not_finite)
{
    for (const int version : {17, 24}) {
        udp::Socket receiver = test_support::receiver();
        Instance instance;
        const fmi2String warnings[] = {"logStatusWarning"};
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 1, warnings), fmi2OK);
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort(), version), fmi2OK);
        std::vector<double> values = inputsOf(0);
        values[0] = std::nan("");  // latitude
        ASSERT_EQ(instance.setInputs(values), fmi2OK);
        ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.0, 0.1, fmi2True), fmi2OK);
        EXPECT_EQ(test_support::receive(receiver, version == 24 ? 100 : 2000).size(), version == 24 ? 0u : 336u);
        EXPECT_EQ(instance.integer(datagramsSentRef), version == 24 ? 0 : 1);
        // A packet held back is not one the system refused.
        for (const std::string& line : instance.log.lines) {
            EXPECT_EQ(line.find("did not take"), std::string::npos) << version << ": " << line;
        }
        ASSERT_EQ(instance.setInputs(inputsOf(1)), fmi2OK);
        ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.1, 0.1, fmi2True), fmi2OK);
        EXPECT_FALSE(test_support::receive(receiver).empty());
        EXPECT_EQ(instance.integer(datagramsSentRef), version == 24 ? 1 : 2);
        EXPECT_EQ(fmu().fmi2Terminate(instance.component), fmi2OK);
    }
}

// Exactly the categories named are turned on or off; no categories means
// all; an unknown one is an error, said in the log.
TEST(Fmu, logs_the_categories_it_is_asked_to)
{
    const auto countUnder = [](const Log& log, const std::string& category) {
        return std::count_if(log.lines.begin(), log.lines.end(),
                             [&](const std::string& l) { return l.find(" " + category + ": ") != std::string::npos; });
    };
    {
        Instance instance;
        const fmi2String warnings[] = {"logStatusWarning"};
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 1, warnings), fmi2OK);
        udp::Socket receiver = test_support::receiver();
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
        EXPECT_EQ(countUnder(instance.log, "logAll"), 0) << "logAll was not named";
        const fmi2String all[] = {"logAll"};
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 1, all), fmi2OK);
        ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.0, 0.1, fmi2True), fmi2OK);
        ASSERT_EQ(fmu().fmi2Terminate(instance.component), fmi2OK);
        ASSERT_EQ(fmu().fmi2Reset(instance.component), fmi2OK);
        const auto afterOn = countUnder(instance.log, "logAll");
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2False, 1, all), fmi2OK);
        EXPECT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
        EXPECT_EQ(countUnder(instance.log, "logAll"), afterOn) << "turned off again";
        const fmi2String errors[] = {"logStatusError"};
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2False, 1, errors), fmi2OK);
        EXPECT_EQ(fmu().fmi2DoStep(instance.component, 0.0, -1.0, fmi2True), fmi2Error);
        EXPECT_EQ(countUnder(instance.log, "logStatusError"), 0) << "errors turned off";
    }
    {
        Instance instance;
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 0, nullptr), fmi2OK);  // all
        udp::Socket receiver = test_support::receiver();
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
        EXPECT_GT(countUnder(instance.log, "logAll"), 0);
    }
    {
        Instance instance;
        const fmi2String unknown[] = {"logAll", "logEverything"};
        EXPECT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 2, unknown), fmi2Error);
        ASSERT_EQ(instance.log.lines.size(), 1u);
        EXPECT_NE(instance.log.lines[0].find("logStatusError: fmi2SetDebugLogging: no log category logEverything"),
                  std::string::npos)
            << instance.log.lines[0];
    }
}

#if !defined(_WIN32)
// A port where nothing listens refuses datagrams: the refusal is logged once
// for each run of refusals, not counted, and the simulation goes on.
TEST(Fmu, logs_a_run_of_refused_sends_once_and_goes_on)
{
    for (const int version : {17, 24}) {
        SCOPED_TRACE(version);
        Instance instance;
        const fmi2String warnings[] = {"logStatusWarning"};
        ASSERT_EQ(fmu().fmi2SetDebugLogging(instance.component, fmi2True, 1, warnings), fmi2OK);
        std::uint16_t closed = 0;
        {
            udp::Socket gone = test_support::receiver();  // a port that was free a moment ago
            closed = gone.localPort();
        }
        ASSERT_EQ(instance.initialise("127.0.0.1", closed, version), fmi2OK);
        int steps = 0;
        for (; steps < 20; ++steps) {
            ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.05 * steps, 0.05, fmi2True), fmi2OK);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the refusal comes back from the port
        }
        const fmi2Integer sent = instance.integer(datagramsSentRef);
        EXPECT_LT(sent, steps);
        EXPECT_GT(sent, 0);  // a refusal arrives after a send: every other one goes out
        const auto warnings_logged =
            std::count_if(instance.log.lines.begin(), instance.log.lines.end(), [](const std::string& l) {
                return l.find("logStatusWarning: the system did not take the datagram") != std::string::npos;
            });
        EXPECT_GE(warnings_logged, 1);
        EXPECT_LE(warnings_logged, steps - sent);
    }
}
#endif

TEST(Fmu, refuses_bad_parameters_naming_each_and_a_link_that_does_not_open)
{
    struct Case {
        const char* host;
        fmi2Integer port;
        fmi2Integer version;
        const char* named;
    };
    const Case cases[] = {
        {"127.0.0.1", 0, 24, "PortNumber"},     {"127.0.0.1", 65536, 24, "PortNumber"},
        {"127.0.0.1", -5500, 24, "PortNumber"}, {"", 5500, 24, "HostName"},
        {"127.0.0.1", 5500, 18, "FdmVersion"},  {"127.0.0.1", 5500, -1, "FdmVersion"},
        {"no-such-host.invalid", 5500, 24, "Could not connect to host !"},
    };
    for (const Case& c : cases) {
        Instance instance;
        EXPECT_EQ(instance.initialise(c.host, c.port, c.version), fmi2Error) << c.named;
        EXPECT_TRUE(instance.log.mentions(c.named)) << c.named;
        // In the error state: no step, and nothing sent.
        EXPECT_EQ(fmu().fmi2DoStep(instance.component, 0.0, 0.1, fmi2True), fmi2Error);
        // A reset gives a fresh instance with the defaults.
        EXPECT_EQ(fmu().fmi2Reset(instance.component), fmi2OK);
        EXPECT_EQ(fmu().fmi2EnterInitializationMode(instance.component), fmi2OK);
        EXPECT_EQ(instance.integer(portNumberRef), 5500);
        EXPECT_EQ(instance.integer(fdmVersionRef), 24);
    }
    Instance tooLong;
    const std::string name(256, 'h');
    EXPECT_EQ(tooLong.setHost(name.c_str()), fmi2Error);
    EXPECT_TRUE(tooLong.log.mentions("HostName"));
}

TEST(Fmu, answers_calls_the_standard_forbids_with_an_error_and_a_log_line)
{
    Fmu& f = fmu();
    const fmi2ValueReference unknown = 27 + 1;
    const fmi2Real real = 1.0;
    fmi2Integer integer = 0;
    fmi2Boolean boolean = 0;
    fmi2String text = nullptr;
    fmi2FMUstate state = nullptr;

    // A null instance: an error, never a crash.
    EXPECT_EQ(f.fmi2DoStep(nullptr, 0.0, 0.1, fmi2True), fmi2Error);
    EXPECT_EQ(f.fmi2SetReal(nullptr, &unknown, 1, &real), fmi2Error);
    EXPECT_EQ(f.fmi2GetInteger(nullptr, &datagramsSentRef, 1, &integer), fmi2Error);
    EXPECT_EQ(f.fmi2EnterInitializationMode(nullptr), fmi2Error);
    EXPECT_EQ(f.fmi2Terminate(nullptr), fmi2Error);
    EXPECT_EQ(f.fmi2Reset(nullptr), fmi2Error);
    EXPECT_EQ(f.fmi2SetDebugLogging(nullptr, fmi2True, 0, nullptr), fmi2Error);
    EXPECT_EQ(f.fmi2GetFMUstate(nullptr, &state), fmi2Error);
    EXPECT_EQ(f.fmi2GetStatus(nullptr, fmi2DoStepStatus, nullptr), fmi2Error);
    f.fmi2FreeInstance(nullptr);

    // Instantiation refused: wrong guid, Model Exchange, no name.
    for (Instance* refused : {new Instance("flight", "{not-ours}"), new Instance("flight", ORVALINK_FMU_GUID, fmi2ModelExchange),
                              new Instance("")}) {
        EXPECT_EQ(refused->component, nullptr);
        EXPECT_FALSE(refused->log.lines.empty());
        delete refused;
    }

    // Each forbidden call on a fresh instance, which it puts in the error state.
    struct Call {
        const char* what;
        std::function<fmi2Status(fmi2Component)> call;
    };
    const Call calls[] = {
        {"DoStep before initialisation", [&](fmi2Component c) { return f.fmi2DoStep(c, 0.0, 0.1, fmi2True); }},
        {"SetReal of an unknown reference", [&](fmi2Component c) { return f.fmi2SetReal(c, &unknown, 1, &real); }},
        {"SetReal with no arrays", [&](fmi2Component c) { return f.fmi2SetReal(c, nullptr, 1, nullptr); }},
        {"SetInteger with no arrays", [&](fmi2Component c) { return f.fmi2SetInteger(c, nullptr, 1, nullptr); }},
        {"SetString with no arrays", [&](fmi2Component c) { return f.fmi2SetString(c, nullptr, 1, nullptr); }},
        {"SetBoolean with no arrays", [&](fmi2Component c) { return f.fmi2SetBoolean(c, nullptr, 1, nullptr); }},
        {"SetInteger of the output", [&](fmi2Component c) { return f.fmi2SetInteger(c, &datagramsSentRef, 1, &integer); }},
        {"SetString of a null text", [&](fmi2Component c) { return f.fmi2SetString(c, &hostNameRef, 1, &text); }},
        {"SetBoolean of anything", [&](fmi2Component c) { return f.fmi2SetBoolean(c, &portNumberRef, 1, &boolean); }},
        {"GetInteger before initialisation", [&](fmi2Component c) { return f.fmi2GetInteger(c, &datagramsSentRef, 1, &integer); }},
        {"ExitInitializationMode before entering", [&](fmi2Component c) { return f.fmi2ExitInitializationMode(c); }},
        {"Terminate before initialisation", [&](fmi2Component c) { return f.fmi2Terminate(c); }},
        {"GetFMUstate", [&](fmi2Component c) { return f.fmi2GetFMUstate(c, &state); }},
        {"CancelStep", [&](fmi2Component c) { return f.fmi2CancelStep(c); }},
        {"GetStatus before a step", [&](fmi2Component c) { fmi2Status s; return f.fmi2GetStatus(c, fmi2DoStepStatus, &s); }},
    };
    for (const Call& call : calls) {
        Instance instance;
        ASSERT_NE(instance.component, nullptr);
        EXPECT_EQ(call.call(instance.component), fmi2Error) << call.what;
        EXPECT_TRUE(instance.log.mentions(" 3 logStatusError: ")) << call.what;
        EXPECT_EQ(f.fmi2EnterInitializationMode(instance.component), fmi2Error) << call.what << ": not in the error state";
    }

    // After initialisation: parameters are fixed, steps need a positive size and stop at the stop time.
    udp::Socket receiver = test_support::receiver();
    const Call late[] = {
        {"SetInteger of a parameter after initialisation",
         [&](fmi2Component c) { return f.fmi2SetInteger(c, &portNumberRef, 1, &integer); }},
        {"SetString after initialisation", [&](fmi2Component c) { return f.fmi2SetString(c, &hostNameRef, 1, &text); }},
        {"a step of size 0", [&](fmi2Component c) { return f.fmi2DoStep(c, 0.0, 0.0, fmi2True); }},
        {"a step past the stop time", [&](fmi2Component c) { return f.fmi2DoStep(c, 0.95, 0.1, fmi2True); }},
        {"EnterInitializationMode again", [&](fmi2Component c) { return f.fmi2EnterInitializationMode(c); }},
        {"GetReal with no arrays", [&](fmi2Component c) { return f.fmi2GetReal(c, nullptr, 1, nullptr); }},
        {"GetInteger with no arrays", [&](fmi2Component c) { return f.fmi2GetInteger(c, nullptr, 1, nullptr); }},
        {"GetBoolean with no arrays", [&](fmi2Component c) { return f.fmi2GetBoolean(c, nullptr, 1, nullptr); }},
        {"GetString with no arrays", [&](fmi2Component c) { return f.fmi2GetString(c, nullptr, 1, nullptr); }},
        {"GetReal of an unknown reference", [&](fmi2Component c) { fmi2Real r; return f.fmi2GetReal(c, &unknown, 1, &r); }},
        {"GetString of the port", [&](fmi2Component c) { return f.fmi2GetString(c, &portNumberRef, 1, &text); }},
        {"GetBoolean of anything", [&](fmi2Component c) { return f.fmi2GetBoolean(c, &portNumberRef, 1, &boolean); }},
    };
    for (const Call& call : late) {
        Instance instance;
        ASSERT_EQ(instance.setHost("127.0.0.1"), fmi2OK);
        ASSERT_EQ(instance.setInteger(portNumberRef, receiver.localPort()), fmi2OK);
        ASSERT_EQ(f.fmi2SetupExperiment(instance.component, fmi2False, 0.0, 0.0, fmi2True, 1.0), fmi2OK);
        ASSERT_EQ(f.fmi2EnterInitializationMode(instance.component), fmi2OK);
        ASSERT_EQ(f.fmi2ExitInitializationMode(instance.component), fmi2OK);
        EXPECT_EQ(call.call(instance.component), fmi2Error) << call.what;
        EXPECT_TRUE(instance.log.mentions("logStatusError")) << call.what;
    }
    EXPECT_TRUE(test_support::receive(receiver, 100).empty());

    // After terminating: no more steps; freeing after terminating is safe.
    Instance done;
    ASSERT_EQ(done.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
    ASSERT_EQ(f.fmi2Terminate(done.component), fmi2OK);
    EXPECT_EQ(f.fmi2DoStep(done.component, 0.0, 0.1, fmi2True), fmi2Error);
    EXPECT_EQ(f.fmi2Terminate(done.component), fmi2Error);
}

TEST(Fmu, takes_the_ends_of_each_range)
{
    udp::Socket receiver = test_support::receiver();
    for (fmi2Integer port : {1, 65535}) {
        Instance instance;
        EXPECT_EQ(instance.initialise("127.0.0.1", port), fmi2OK) << port;
    }
    Instance atStop;
    ASSERT_EQ(atStop.setInteger(portNumberRef, receiver.localPort()), fmi2OK);
    ASSERT_EQ(fmu().fmi2SetupExperiment(atStop.component, fmi2False, 0.0, 0.0, fmi2True, 1.0), fmi2OK);
    ASSERT_EQ(fmu().fmi2EnterInitializationMode(atStop.component), fmi2OK);
    ASSERT_EQ(fmu().fmi2ExitInitializationMode(atStop.component), fmi2OK);
    EXPECT_EQ(fmu().fmi2DoStep(atStop.component, 0.0, 0.5, fmi2True), fmi2OK);
    EXPECT_EQ(fmu().fmi2DoStep(atStop.component, 0.5, 0.5 + 5e-13, fmi2True), fmi2OK);  // rounding, not past it
    EXPECT_EQ(atStop.integer(datagramsSentRef), 2);
    Instance pastStop;
    ASSERT_EQ(pastStop.setInteger(portNumberRef, receiver.localPort()), fmi2OK);
    ASSERT_EQ(fmu().fmi2SetupExperiment(pastStop.component, fmi2False, 0.0, 0.0, fmi2True, 1.0), fmi2OK);
    ASSERT_EQ(fmu().fmi2EnterInitializationMode(pastStop.component), fmi2OK);
    ASSERT_EQ(fmu().fmi2ExitInitializationMode(pastStop.component), fmi2OK);
    EXPECT_EQ(fmu().fmi2DoStep(pastStop.component, 0.5, 0.5 + 5e-12, fmi2True), fmi2Error);  // past it
    const std::string longest(255, 'h');
    Instance named;
    EXPECT_EQ(named.setHost(longest.c_str()), fmi2OK);
    EXPECT_EQ(named.setHost((longest + "h").c_str()), fmi2Error);
    EXPECT_TRUE(named.log.mentions("HostName must be text of at most 255 characters"));
}

TEST(Fmu, reports_the_status_it_can_give)
{
    udp::Socket receiver = test_support::receiver();
    Instance instance;
    ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
    ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.0, 0.1, fmi2True), fmi2OK);
    ASSERT_EQ(fmu().fmi2DoStep(instance.component, 0.1, 0.15, fmi2True), fmi2OK);
    fmi2Real time = -1.0;
    EXPECT_EQ(fmu().fmi2GetRealStatus(instance.component, fmi2LastSuccessfulTime, &time), fmi2OK);
    EXPECT_DOUBLE_EQ(time, 0.25);
    EXPECT_EQ(fmu().fmi2GetRealStatus(instance.component, fmi2LastSuccessfulTime, nullptr), fmi2Discard);
    EXPECT_EQ(fmu().fmi2GetRealStatus(instance.component, fmi2DoStepStatus, &time), fmi2Discard);
    fmi2Boolean terminated = fmi2True;
    EXPECT_EQ(fmu().fmi2GetBooleanStatus(instance.component, fmi2Terminated, &terminated), fmi2OK);
    EXPECT_EQ(terminated, fmi2False);
    EXPECT_EQ(fmu().fmi2GetBooleanStatus(instance.component, fmi2Terminated, nullptr), fmi2Discard);
    EXPECT_EQ(fmu().fmi2GetBooleanStatus(instance.component, fmi2PendingStatus, &terminated), fmi2Discard);
    fmi2Status status = fmi2OK;
    fmi2Integer integer = 0;
    fmi2String text = nullptr;
    EXPECT_EQ(fmu().fmi2GetStatus(instance.component, fmi2DoStepStatus, &status), fmi2Discard);
    EXPECT_EQ(fmu().fmi2GetIntegerStatus(instance.component, fmi2DoStepStatus, &integer), fmi2Discard);
    EXPECT_EQ(fmu().fmi2GetStringStatus(instance.component, fmi2PendingStatus, &text), fmi2Discard);
    EXPECT_TRUE(instance.log.lines.empty());  // no errors, logging off
}

TEST(Fmu, logs_whole_lines_under_the_instance_name_and_says_why_without_one)
{
    // Cut to 127 characters; a message's '%' arrives as it is after the logger's printf, and a
    // '#' doubled, as the standard writes a literal one (a single one names a variable).
    const std::string name(200, 'n');
    Instance instance(name.c_str());
    ASSERT_NE(instance.component, nullptr);
    EXPECT_EQ(fmu().fmi2DoStep(instance.component, 0.0, 0.1, fmi2True), fmi2Error);
    ASSERT_EQ(instance.log.lines.size(), 1u);
    EXPECT_EQ(instance.log.lines[0],
              std::string(127, 'n') + " 3 logStatusError: fmi2DoStep is not allowed in the instantiated state");
    Instance odd;
    EXPECT_EQ(odd.initialise("bad%host#.invalid", 5500), fmi2Error);
    EXPECT_TRUE(odd.log.mentions("Could not connect to host ! (bad%host##.invalid port 5500)"));

    testing::internal::CaptureStderr();
    fmi2Component none = fmu().fmi2Instantiate("x", fmi2CoSimulation, ORVALINK_FMU_GUID, "", nullptr, fmi2False, fmi2False);
    EXPECT_EQ(fmu().fmi2Terminate(nullptr), fmi2Error);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(said.find("fmi2Instantiate called without callback functions"), std::string::npos) << said;
    EXPECT_NE(said.find("fmi2Terminate called without an instance"), std::string::npos) << said;
}

TEST(Fmu, instances_are_independent)
{
    udp::Socket first = test_support::receiver();
    udp::Socket second = test_support::receiver();
    Instance a("a");
    Instance b("b");
    ASSERT_EQ(a.initialise("127.0.0.1", first.localPort(), 17), fmi2OK);
    ASSERT_EQ(b.initialise("localhost", second.localPort(), 24), fmi2OK);
    ASSERT_EQ(fmu().fmi2DoStep(a.component, 0.0, 0.1, fmi2True), fmi2OK);
    ASSERT_EQ(fmu().fmi2DoStep(b.component, 0.0, 0.1, fmi2True), fmi2OK);
    ASSERT_EQ(fmu().fmi2DoStep(b.component, 0.1, 0.1, fmi2True), fmi2OK);
    EXPECT_EQ(test_support::receive(first).size(), 336u);
    EXPECT_EQ(test_support::receive(second).size(), 408u);
    EXPECT_EQ(test_support::receive(second).size(), 408u);
    EXPECT_TRUE(test_support::receive(first, 100).empty());
    EXPECT_EQ(a.integer(datagramsSentRef), 1);
    EXPECT_EQ(b.integer(datagramsSentRef), 2);
}

#if defined(__linux__)
std::size_t openDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator()));
}

TEST(Fmu, closes_its_socket_on_terminate_and_on_free)
{
    udp::Socket receiver = test_support::receiver();
    const std::size_t before = openDescriptors();
    {
        Instance instance;
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
        EXPECT_EQ(openDescriptors(), before + 1);
        EXPECT_EQ(fmu().fmi2Terminate(instance.component), fmi2OK);
        EXPECT_EQ(openDescriptors(), before);
    }
    for (int round = 0; round < 3; ++round) {
        Instance instance;
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
    }  // freed without terminating
    EXPECT_EQ(openDescriptors(), before);
    {
        Instance instance;
        ASSERT_EQ(instance.initialise("127.0.0.1", receiver.localPort()), fmi2OK);
        EXPECT_EQ(fmu().fmi2Reset(instance.component), fmi2OK);
        EXPECT_EQ(openDescriptors(), before);
    }
}
#endif

}  // namespace

namespace {

// The 25 controls outputs and the age, as the FMU reports them after a step.
std::vector<double> controlsOutputs(Instance& instance)
{
    std::vector<fmi2ValueReference> refs(26);
    for (std::size_t i = 0; i < refs.size(); ++i) {
        refs[i] = firstControlsRef + static_cast<fmi2ValueReference>(i);
    }
    std::vector<double> values(refs.size(), -99.0);
    EXPECT_EQ(fmu().fmi2GetReal(instance.component, refs.data(), refs.size(), values.data()), fmi2OK);
    return values;
}

TEST(Fmu, takes_flightgears_controls_at_each_step_when_asked_and_binds_nothing_when_not)
{
    // Off by default: nothing taken, zeros, no age; the defaults read back.
    {
        Instance off;
        EXPECT_EQ(off.initialise("127.0.0.1", 9), fmi2OK);
        EXPECT_EQ(off.integer(controlsPortRef), 0);
        fmi2String host = nullptr;
        EXPECT_EQ(fmu().fmi2GetString(off.component, &controlsHostRef, 1, &host), fmi2OK);
        EXPECT_STREQ(host, "127.0.0.1");
        EXPECT_EQ(fmu().fmi2DoStep(off.component, 0.0, 0.05, fmi2True), fmi2OK);
        std::vector<double> expected(25, 0.0);
        expected.push_back(-1.0);
        EXPECT_EQ(controlsOutputs(off), expected);
        EXPECT_EQ(off.integer(controlsTakenRef), 0);
    }

    const std::uint16_t port = [] {
        std::string error;
        auto probe = udp::Socket::bound(udp::Endpoint{"127.0.0.1", 0}, error);
        return probe ? probe->localPort() : std::uint16_t{0};
    }();
    Instance on;
    ASSERT_EQ(fmu().fmi2SetDebugLogging(on.component, fmi2True, 0, nullptr), fmi2OK);
    fmi2String listenOn = "127.0.0.1";
    ASSERT_EQ(fmu().fmi2SetString(on.component, &controlsHostRef, 1, &listenOn), fmi2OK);
    ASSERT_EQ(on.setInteger(controlsPortRef, port), fmi2OK);
    ASSERT_EQ(on.initialise("127.0.0.1", 9), fmi2OK);
    EXPECT_TRUE(on.log.mentions("taking controls on 127.0.0.1 port " + std::to_string(port)));

    ctrls27::Controls sent{};
    for (int i = 0; i < ctrls27::NUM_FLIGHT_CONTROLS; ++i) {
        sent.flight[i] = 0.1 * (i + 1);
    }
    for (int i = 0; i < ctrls27::maxEngines; ++i) {
        sent.throttle[i] = 1.0 + i;
        sent.mixture[i] = 2.0 + i;
        sent.propeller[i] = 3.0 + i;
        sent.gear[i] = 4.0 + i;
    }
    sent.gear[ctrls27::GEAR_HANDLE] = 1.0;
    Packet good(ctrls27::packetSize);
    ctrls27::encode(good.data(), sent);
    std::string error;
    auto sender = udp::Socket::connected(udp::Endpoint{"127.0.0.1", port}, error);
    ASSERT_TRUE(sender) << error;
    sender->send(Packet(100, 0));
    sender->send(good);
    double time = 0.0;
    for (int i = 0; i < 200 && on.integer(controlsTakenRef) < 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(fmu().fmi2DoStep(on.component, time, 0.05, fmi2True), fmi2OK);
        time += 0.05;
    }
    EXPECT_EQ(on.integer(controlsTakenRef), 1);
    EXPECT_EQ(on.integer(controlsRefusedRef), 1);
    const std::vector<double> values = controlsOutputs(on);
    std::vector<double> expected(sent.flight, sent.flight + 9);
    for (const double* group : {sent.throttle, sent.mixture, sent.propeller, sent.gear}) {
        expected.insert(expected.end(), group, group + 4);
    }
    EXPECT_EQ(std::vector<double>(values.begin(), values.end() - 1), expected);
    EXPECT_GE(values.back(), 0.0);
    EXPECT_LT(values.back(), 5.0);

    // A second instance on the same port, and a port out of range, are refused by name.
    Instance second;
    ASSERT_EQ(second.setInteger(controlsPortRef, port), fmi2OK);
    EXPECT_EQ(second.initialise("127.0.0.1", 9), fmi2Error);
    EXPECT_TRUE(second.log.mentions("Could not listen on 127.0.0.1 port " + std::to_string(port) +
                                    ": the port is taken by another program"));
    Instance outOfRange;
    ASSERT_EQ(outOfRange.setInteger(controlsPortRef, 65536), fmi2OK);
    EXPECT_EQ(outOfRange.initialise("127.0.0.1", 9), fmi2Error);
    EXPECT_TRUE(outOfRange.log.mentions("ControlsPort must be 0 (off) or a whole number from 1 to 65535, not 65536"));

    // Arrays checked whole: one input set from a longer list of references,
    // and no value array for a reference.
    const fmi2ValueReference refs[] = {3, firstControlsRef};
    const fmi2Real roll = 0.5;
    EXPECT_EQ(fmu().fmi2SetReal(on.component, refs, 1, &roll), fmi2OK);
    Instance noValues;
    ASSERT_EQ(noValues.initialise("127.0.0.1", 9), fmi2OK);
    EXPECT_EQ(fmu().fmi2GetReal(noValues.component, refs, 1, nullptr), fmi2Error);

    // Terminate lets the port go.
    EXPECT_EQ(fmu().fmi2Terminate(on.component), fmi2OK);
    EXPECT_TRUE(udp::Socket::bound(udp::Endpoint{"127.0.0.1", port}, error)) << error;
}

}  // namespace
