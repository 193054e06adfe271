// The block as an FMI 2.0 Co-Simulation FMU: a third front door to the
// block's core. Exiting initialisation opens the link as mdlStart does;
// each fmi2DoStep encodes the inputs with the block's encoder and sends one
// datagram, version 17 as the block sends it or version 24 as the relay
// translates it. With ControlsPort set, it also listens there as the
// controls block does, and each fmi2DoStep takes the controls datagrams
// queued since the last. Every call checks the instance and its state first, and
// answers a call the standard forbids with fmi2Error and a log line.
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "controls_receiver.h"
#include "fdm_packet.h"
#include "fdm_v24.h"
#include "fmi2.h"
#include "input_elements.h"
#include "sender.h"
#include "fdm_rules.h"
#include "rules.h"

#ifndef ORVALINK_FMU_GUID
#error "the build defines ORVALINK_FMU_GUID, the guid of modelDescription.xml"
#endif

namespace {

using orvalink::platform::SocketHandle;
using orvalink::platform::noSocket;

// Value references, one range for each type.
constexpr fmi2ValueReference firstInputRef = 0;  // the 28 Real inputs, in port order
constexpr fmi2ValueReference portNumberRef = 100;
constexpr fmi2ValueReference fdmVersionRef = 101;
constexpr fmi2ValueReference controlsPortRef = 102;
constexpr fmi2ValueReference datagramsSentRef = 200;
constexpr fmi2ValueReference controlsTakenRef = 201;
constexpr fmi2ValueReference controlsRefusedRef = 202;
constexpr fmi2ValueReference hostNameRef = 300;
constexpr fmi2ValueReference controlsHostRef = 301;
// The controls as the block's ports give them: flight (9), throttle,
// mixture, propeller (4 each), gear (4); then their age.
constexpr fmi2ValueReference firstControlsRef = 400;
constexpr int numControls = ctrls27::NUM_FLIGHT_CONTROLS + 3 * ctrls27::maxEngines + ctrls27::NUM_GEAR_CONTROLS;
constexpr fmi2ValueReference controlsAgeRef = firstControlsRef + numControls;
static_assert(numControls == 25, "the outputs the model description lists");

constexpr int numInputs = orvalink::numInputElements;
constexpr int portWidths[fdm17::numInputPorts] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
constexpr std::size_t hostNameCapacity = 256;
constexpr std::size_t instanceNameCapacity = 128;
constexpr const char* defaultHostName = "127.0.0.1";
constexpr fmi2Integer defaultPort = 5500;
constexpr fmi2Integer defaultVersion = 24;
constexpr fmi2Integer controlsOff = 0;

// The log categories of the model description, one bit each.
enum LogCategory : unsigned { LOG_ERROR = 1u, LOG_REFUSED_SEND = 2u, LOG_ALL = 4u };
struct CategoryName {
    LogCategory category;
    const char* name;
};
constexpr CategoryName logCategories[] = {
    {LOG_ERROR, "logStatusError"}, {LOG_REFUSED_SEND, "logStatusWarning"}, {LOG_ALL, "logAll"}};
constexpr unsigned allCategories = LOG_ERROR | LOG_REFUSED_SEND | LOG_ALL;

// The states of the standard's state machine that this slave can reach.
enum class Phase { instantiated, initialization, stepComplete, terminated, error };

struct Instance {
    fmi2CallbackFunctions callbacks;
    char name[instanceNameCapacity];  // cut to fit; for log lines only
    unsigned logging;                 // the categories logged
    bool refusing;                    // the last send was refused: the run of refusals is logged
    Phase phase;
    bool stopTimeDefined;
    fmi2Real stopTime;
    fmi2Real lastSuccessfulTime;
    char hostName[hostNameCapacity];
    fmi2Integer port;
    fmi2Integer version;
    fmi2Integer datagramsSent;
    double inputs[numInputs];
    fdm17::InputPorts ports;  // into `inputs`, by port
    SocketHandle socket;
    char controlsHost[hostNameCapacity];
    fmi2Integer controlsPort;  // 0: off
    orvalink::controls::Receiver controls;
    double controlsAge;  // at the last step
    std::uint8_t packet17[fdm17::packetSize];
    std::uint8_t packet24[fdm24::packetSize];
};

void copyCut(char* to, std::size_t capacity, const char* from)
{
    std::size_t length = 0;
    while (length + 1 < capacity && from[length] != '\0') {
        to[length] = from[length];
        ++length;
    }
    to[length] = '\0';
}

// Passes one line to the importer's logger. The logger takes a printf
// format in which '#' names a variable: both '%' and '#' are doubled.
void logLine(const fmi2CallbackFunctions& callbacks, const char* instanceName, fmi2Status status,
             const char* category, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    char escaped[2 * sizeof text];
    std::size_t at = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '%' || *c == '#') {
            escaped[at++] = *c;
        }
        escaped[at++] = *c;
    }
    escaped[at] = '\0';
    callbacks.logger(callbacks.componentEnvironment, instanceName, status, category, escaped);
}

const char* categoryName(LogCategory category)
{
    for (const CategoryName& known : logCategories) {
        if (known.category == category) {
            return known.name;
        }
    }
    return "logAll";
}

// One line under `category`, if the importer logs and the category is on.
void logIfOn(const Instance* instance, LogCategory category, fmi2Status status, const char* format, va_list args)
{
    if (instance->callbacks.logger != nullptr && (instance->logging & category) != 0) {
        logLine(instance->callbacks, instance->name, status, categoryName(category), format, args);
    }
}

#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
void logAs(const Instance* instance, LogCategory category, fmi2Status status, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logIfOn(instance, category, status, format, args);
    va_end(args);
}

// What the FMU does, under logAll.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void logInfo(const Instance* instance, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logIfOn(instance, LOG_ALL, fmi2OK, format, args);
    va_end(args);
}

// Logs why and puts the instance in the error state, as the standard does after an error.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
fmi2Status fail(Instance* instance, const char* format, ...)
{
    if (instance->callbacks.logger != nullptr && (instance->logging & LOG_ERROR) != 0) {
        va_list args;
        va_start(args, format);
        logLine(instance->callbacks, instance->name, fmi2Error, categoryName(LOG_ERROR), format, args);
        va_end(args);
    }
    instance->phase = Phase::error;
    return fmi2Error;
}

// There is no logger without an instance: standard error is the one place left.
fmi2Status nullInstance(const char* function)
{
    std::fprintf(stderr, "orvalink FMU: %s called without an instance\n", function);
    return fmi2Error;
}

const char* phaseName(Phase phase)
{
    switch (phase) {
    case Phase::instantiated: return "instantiated";
    case Phase::initialization: return "initialization mode";
    case Phase::stepComplete: return "step complete";
    case Phase::terminated: return "terminated";
    case Phase::error: return "error";
    }
    return "unknown";
}

// The instance when `c` is one and its phase is among `allowed`; else null, after logging why.
template <typename... Phases>
Instance* instanceIn(fmi2Component c, const char* function, fmi2Status& status, Phases... allowed)
{
    auto* instance = static_cast<Instance*>(c);
    if (instance == nullptr) {
        status = nullInstance(function);
        return nullptr;
    }
    const Phase phases[] = {allowed...};
    for (Phase phase : phases) {
        if (instance->phase == phase) {
            return instance;
        }
    }
    status = fail(instance, "%s is not allowed in the %s state", function, phaseName(instance->phase));
    return nullptr;
}

void setDefaults(Instance* instance)
{
    instance->phase = Phase::instantiated;
    instance->stopTimeDefined = false;
    instance->stopTime = 0.0;
    instance->lastSuccessfulTime = 0.0;
    copyCut(instance->hostName, hostNameCapacity, defaultHostName);
    instance->port = defaultPort;
    instance->version = defaultVersion;
    instance->datagramsSent = 0;
    instance->refusing = false;
    copyCut(instance->controlsHost, hostNameCapacity, defaultHostName);
    instance->controlsPort = controlsOff;
    std::memset(&instance->controls, 0, sizeof instance->controls);
    instance->controls.socket = noSocket;
    instance->controlsAge = -1.0;
    std::memset(instance->inputs, 0, sizeof instance->inputs);
    std::memset(instance->packet17, 0, sizeof instance->packet17);
}

void closeSocket(Instance* instance)
{
    orvalink::closeLink(instance->socket);
    instance->socket = noSocket;
    orvalink::closeLink(instance->controls.socket);
    instance->controls.socket = noSocket;
}

bool isInputRef(fmi2ValueReference vr) { return vr >= firstInputRef && vr < firstInputRef + numInputs; }
bool isControlsRef(fmi2ValueReference vr) { return vr >= firstControlsRef && vr <= controlsAgeRef; }

// Output `vr` of the controls, as the last step left it.
fmi2Real controlsValue(const Instance* instance, fmi2ValueReference vr)
{
    const ctrls27::Controls& held = instance->controls.held;
    const int at = static_cast<int>(vr - firstControlsRef);
    constexpr int engines = ctrls27::maxEngines;
    constexpr int flight = ctrls27::NUM_FLIGHT_CONTROLS;
    if (vr == controlsAgeRef) {
        return instance->controlsAge;
    }
    if (at < flight) {
        return held.flight[at];
    }
    if (at < flight + engines) {
        return held.throttle[at - flight];
    }
    if (at < flight + 2 * engines) {
        return held.mixture[at - flight - engines];
    }
    if (at < flight + 3 * engines) {
        return held.propeller[at - flight - 2 * engines];
    }
    return held.gear[at - flight - 3 * engines];
}

// Checks the arrays a Get or Set call passes.
bool arraysGiven(Instance* instance, const char* function, const void* vr, size_t nvr, const void* value)
{
    if (nvr > 0 && (vr == nullptr || value == nullptr)) {
        fail(instance, "%s got no value reference or value array for %lu values", function,
             static_cast<unsigned long>(nvr));
        return false;
    }
    return true;
}

// The phases in which Get calls are allowed (initialisation, after a step, for debugging after an error).
#define GET_PHASES Phase::initialization, Phase::stepComplete, Phase::terminated, Phase::error

}  // namespace

extern "C" {

const char* fmi2GetTypesPlatform(void) { return fmi2TypesPlatform; }
const char* fmi2GetVersion(void) { return fmi2Version; }

fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                              fmi2String /*fmuResourceLocation*/, const fmi2CallbackFunctions* functions,
                              fmi2Boolean /*visible*/, fmi2Boolean loggingOn)
{
    if (functions == nullptr) {
        std::fprintf(stderr, "orvalink FMU: fmi2Instantiate called without callback functions\n");
        return nullptr;
    }
    Instance probe{};
    probe.callbacks = *functions;  // valid only during this call: copied
    // Errors are logged unless the importer turns them off; the rest only with logging on.
    probe.logging = loggingOn != fmi2False ? allCategories : static_cast<unsigned>(LOG_ERROR);
    copyCut(probe.name, instanceNameCapacity, instanceName != nullptr ? instanceName : "");
    if (instanceName == nullptr || instanceName[0] == '\0') {
        fail(&probe, "fmi2Instantiate needs an instance name");
        return nullptr;
    }
    if (fmuType != fmi2CoSimulation) {
        fail(&probe, "this FMU offers Co-Simulation only");
        return nullptr;
    }
    if (fmuGUID == nullptr || std::strcmp(fmuGUID, ORVALINK_FMU_GUID) != 0) {
        fail(&probe, "the guid %.60s is not this FMU's (%s)", fmuGUID != nullptr ? fmuGUID : "(none)",
             ORVALINK_FMU_GUID);
        return nullptr;
    }
    auto* instance = new (std::nothrow) Instance(probe);
    if (instance == nullptr) {
        fail(&probe, "no memory for the instance");
        return nullptr;
    }
    instance->socket = noSocket;
    setDefaults(instance);
    double* element = instance->inputs;
    for (int port = 0; port < fdm17::numInputPorts; ++port) {
        instance->ports[static_cast<std::size_t>(port)] = element;
        element += portWidths[port];
    }
    logInfo(instance, "instantiated");
    return instance;
}

void fmi2FreeInstance(fmi2Component c)
{
    auto* instance = static_cast<Instance*>(c);
    if (instance == nullptr) {
        return;
    }
    closeSocket(instance);
    delete instance;
}

fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t nCategories,
                               const fmi2String categories[])
{
    auto* instance = static_cast<Instance*>(c);
    if (instance == nullptr) {
        return nullInstance("fmi2SetDebugLogging");
    }
    // No categories: all of them. Otherwise exactly those named, each known.
    unsigned named = nCategories == 0 ? allCategories : 0u;
    if (nCategories > 0 && categories == nullptr) {
        instance->logging |= LOG_ERROR;
        return fail(instance, "fmi2SetDebugLogging got %lu categories and no array", static_cast<unsigned long>(nCategories));
    }
    for (size_t i = 0; i < nCategories; ++i) {
        unsigned found = 0;
        for (const CategoryName& known : logCategories) {
            if (categories[i] != nullptr && std::strcmp(categories[i], known.name) == 0) {
                found = known.category;
            }
        }
        if (found == 0) {
            instance->logging |= LOG_ERROR;  // the refusal is said whatever was turned off
            return fail(instance, "fmi2SetDebugLogging: no log category %.60s (logStatusError, logStatusWarning, logAll)",
                        categories[i] != nullptr ? categories[i] : "(null)");
        }
        named |= found;
    }
    instance->logging = loggingOn != fmi2False ? (instance->logging | named) : (instance->logging & ~named);
    return fmi2OK;
}

fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean /*toleranceDefined*/, fmi2Real /*tolerance*/,
                               fmi2Real startTime, fmi2Boolean stopTimeDefined, fmi2Real stopTime)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2SetupExperiment", status, Phase::instantiated);
    if (instance == nullptr) {
        return status;
    }
    instance->stopTimeDefined = stopTimeDefined != fmi2False;
    instance->stopTime = stopTime;
    instance->lastSuccessfulTime = startTime;
    return fmi2OK;
}

fmi2Status fmi2EnterInitializationMode(fmi2Component c)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2EnterInitializationMode", status, Phase::instantiated);
    if (instance == nullptr) {
        return status;
    }
    instance->phase = Phase::initialization;
    return fmi2OK;
}

fmi2Status fmi2ExitInitializationMode(fmi2Component c)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2ExitInitializationMode", status, Phase::initialization);
    if (instance == nullptr) {
        return status;
    }
    if (instance->hostName[0] == '\0') {
        return fail(instance, "HostName is empty: give the host name or IPv4 address of FlightGear or the relay");
    }
    if (instance->port < 1 || instance->port > 65535) {
        return fail(instance, "%s, not %d", orvalink::portRule, instance->port);
    }
    if (instance->version != 17 && instance->version != 24) {
        return fail(instance, "%s, not %d", orvalink::fdmVersionRule, instance->version);
    }
    if (instance->controlsPort < 0 || instance->controlsPort > 65535) {
        return fail(instance, "ControlsPort must be 0 (off) or a whole number from 1 to 65535, not %d",
                    instance->controlsPort);
    }
    if (instance->controlsPort != controlsOff && instance->controlsHost[0] == '\0') {
        return fail(instance, "ControlsHost is empty: give the address to listen on (127.0.0.1, or 0.0.0.0 for every "
                              "interface)");
    }
    if (!orvalink::startSocketLibrary()) {
        return fail(instance, "%s (the socket library did not start)", orvalink::connectFailedMessage);
    }
    instance->socket = orvalink::openLink(instance->hostName, static_cast<std::uint16_t>(instance->port));
    if (instance->socket == noSocket) {
        return fail(instance, "%s (%.60s port %d)", orvalink::connectFailedMessage, instance->hostName, instance->port);
    }
    if (instance->controlsPort != controlsOff) {
        const auto port = static_cast<std::uint16_t>(instance->controlsPort);
        orvalink::ListenFailure failure = orvalink::ListenFailure::none;
        instance->controls.socket = orvalink::openListener(instance->controlsHost, port, failure);
        if (instance->controls.socket == noSocket) {
            closeSocket(instance);
            return fail(instance, "%s", orvalink::controls::listenRefusal(instance->controlsHost, port, failure));
        }
        logInfo(instance, "taking controls on %s port %d", instance->controlsHost, instance->controlsPort);
    }
    instance->phase = Phase::stepComplete;
    logInfo(instance, "sending version %d to %s port %d", instance->version, instance->hostName, instance->port);
    return fmi2OK;
}

fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint, fmi2Real communicationStepSize,
                      fmi2Boolean /*noSetFMUStatePriorToCurrentPoint*/)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2DoStep", status, Phase::stepComplete);
    if (instance == nullptr) {
        return status;
    }
    if (!(communicationStepSize > 0.0) || !std::isfinite(communicationStepSize)) {
        return fail(instance, "fmi2DoStep needs a step size above 0, not %g", communicationStepSize);
    }
    const fmi2Real end = currentCommunicationPoint + communicationStepSize;
    if (instance->stopTimeDefined && end > instance->stopTime * (1.0 + 1e-12) + 1e-12) {
        return fail(instance, "fmi2DoStep would end at %g, past the stop time %g", end, instance->stopTime);
    }
    if (instance->controls.socket != noSocket) {
        double now = 0.0;
        const bool took = orvalink::controls::takeQueued(instance->controls, now);
        instance->controlsAge =
            orvalink::controls::ageOf(instance->controls, orvalink::controls::stepTime(instance->controls, took, now));
    }
    // After 2038 the packet carries the low 32 bits of the time value, as the block's does.
    const auto now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    fdm17::encode(instance->packet17, instance->ports, now);
    bool sent = false;
    if (instance->version == 24) {
        // A position or attitude FlightGear cannot recover from is not sent, as the relay would not forward it.
        if (fdm24::forwardable(instance->packet17)) {
            fdm24::translate17to24(instance->packet17, instance->packet24);
            sent = orvalink::sendDatagram(instance->socket, instance->packet24, fdm24::packetSize);
        }
    } else {
        sent = orvalink::sendDatagram(instance->socket, instance->packet17, fdm17::packetSize);
    }
    if (sent) {
        ++instance->datagramsSent;  // what the system took, not what was tried
        instance->refusing = false;
    } else if (instance->socket != noSocket && !instance->refusing &&
               (instance->version != 24 || fdm24::forwardable(instance->packet17))) {
        // Once for each run of refusals (nothing listening, or a full buffer); the simulation goes on.
        instance->refusing = true;
        logAs(instance, LOG_REFUSED_SEND, fmi2Warning,
              "the system did not take the datagram for %.60s port %d (nothing listening there?); "
              "the next refusals are not logged until one goes out",
              instance->hostName, static_cast<int>(instance->port));
    }
    instance->lastSuccessfulTime = end;
    return fmi2OK;
}

fmi2Status fmi2Terminate(fmi2Component c)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2Terminate", status, Phase::stepComplete);
    if (instance == nullptr) {
        return status;
    }
    closeSocket(instance);
    instance->phase = Phase::terminated;
    return fmi2OK;
}

fmi2Status fmi2Reset(fmi2Component c)
{
    auto* instance = static_cast<Instance*>(c);
    if (instance == nullptr) {
        return nullInstance("fmi2Reset");
    }
    closeSocket(instance);
    setDefaults(instance);
    return fmi2OK;
}

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Real value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetReal", status, GET_PHASES);
    if (instance == nullptr || !arraysGiven(instance, "fmi2GetReal", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {
        if (isControlsRef(vr[i])) {
            value[i] = controlsValue(instance, vr[i]);
            continue;
        }
        if (!isInputRef(vr[i])) {
            return fail(instance, "fmi2GetReal: no Real variable has value reference %u", vr[i]);
        }
        value[i] = instance->inputs[vr[i] - firstInputRef];
    }
    return fmi2OK;
}

}  // extern "C"

namespace {
fmi2Integer countValue(double count) { return count < 2147483647.0 ? static_cast<fmi2Integer>(count) : 2147483647; }
}  // namespace

extern "C" {

fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Integer value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetInteger", status, GET_PHASES);
    if (instance == nullptr || !arraysGiven(instance, "fmi2GetInteger", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {
        switch (vr[i]) {
        case portNumberRef: value[i] = instance->port; break;
        case fdmVersionRef: value[i] = instance->version; break;
        case datagramsSentRef: value[i] = instance->datagramsSent; break;
        case controlsPortRef: value[i] = instance->controlsPort; break;
        // Counts beyond the Integer's range stay at its top.
        case controlsTakenRef: value[i] = countValue(instance->controls.taken); break;
        case controlsRefusedRef: value[i] = countValue(instance->controls.refused); break;
        default: return fail(instance, "fmi2GetInteger: no Integer variable has value reference %u", vr[i]);
        }
    }
    return fmi2OK;
}

fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Boolean value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetBoolean", status, GET_PHASES);
    if (instance == nullptr || !arraysGiven(instance, "fmi2GetBoolean", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    return nvr == 0 ? fmi2OK : fail(instance, "fmi2GetBoolean: this FMU has no Boolean variable (%u)", vr[0]);
}

fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2String value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetString", status, GET_PHASES);
    if (instance == nullptr || !arraysGiven(instance, "fmi2GetString", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {
        if (vr[i] != hostNameRef && vr[i] != controlsHostRef) {
            return fail(instance, "fmi2GetString: no String variable has value reference %u", vr[i]);
        }
        value[i] = vr[i] == hostNameRef ? instance->hostName : instance->controlsHost;
    }
    return fmi2OK;
}

fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Real value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance =
        instanceIn(c, "fmi2SetReal", status, Phase::instantiated, Phase::initialization, Phase::stepComplete);
    if (instance == nullptr || !arraysGiven(instance, "fmi2SetReal", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {  // all checked before any is set
        if (!isInputRef(vr[i])) {
            return fail(instance, "fmi2SetReal: no Real input has value reference %u", vr[i]);
        }
    }
    for (size_t i = 0; i < nvr; ++i) {
        instance->inputs[vr[i] - firstInputRef] = value[i];
    }
    return fmi2OK;
}

fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Integer value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2SetInteger", status, Phase::instantiated, Phase::initialization);
    if (instance == nullptr || !arraysGiven(instance, "fmi2SetInteger", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {
        if (vr[i] != portNumberRef && vr[i] != fdmVersionRef && vr[i] != controlsPortRef) {
            return fail(instance, "fmi2SetInteger: no Integer parameter has value reference %u", vr[i]);
        }
    }
    for (size_t i = 0; i < nvr; ++i) {
        (vr[i] == portNumberRef ? instance->port : vr[i] == fdmVersionRef ? instance->version : instance->controlsPort) =
            value[i];
    }
    return fmi2OK;
}

fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Boolean value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2SetBoolean", status, Phase::instantiated, Phase::initialization,
                                    Phase::stepComplete);
    if (instance == nullptr || !arraysGiven(instance, "fmi2SetBoolean", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    return nvr == 0 ? fmi2OK : fail(instance, "fmi2SetBoolean: this FMU has no Boolean variable (%u)", vr[0]);
}

fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2String value[])
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2SetString", status, Phase::instantiated, Phase::initialization);
    if (instance == nullptr || !arraysGiven(instance, "fmi2SetString", vr, nvr, value)) {
        return instance == nullptr ? status : fmi2Error;
    }
    for (size_t i = 0; i < nvr; ++i) {
        if (vr[i] != hostNameRef && vr[i] != controlsHostRef) {
            return fail(instance, "fmi2SetString: no String parameter has value reference %u", vr[i]);
        }
        if (value[i] == nullptr || std::strlen(value[i]) >= hostNameCapacity) {
            return fail(instance, "%s must be text of at most %d characters",
                        vr[i] == hostNameRef ? "HostName" : "ControlsHost", static_cast<int>(hostNameCapacity - 1));
        }
    }
    for (size_t i = 0; i < nvr; ++i) {
        copyCut(vr[i] == hostNameRef ? instance->hostName : instance->controlsHost, hostNameCapacity, value[i]);
    }
    return fmi2OK;
}

// ---- Capabilities the model description declares absent ----------------------

// Every function must be there, also for what the model description says is absent.
#define NOT_OFFERED(function, what)                                                                 \
    auto* instance = static_cast<Instance*>(c);                                                     \
    return instance == nullptr ? nullInstance(function)                                             \
                               : fail(instance, "%s: this FMU does not offer %s", function, what)

fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) { NOT_OFFERED("fmi2GetFMUstate", "saved states"); }
fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) { NOT_OFFERED("fmi2SetFMUstate", "saved states"); }
fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) { NOT_OFFERED("fmi2FreeFMUstate", "saved states"); }
fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*)
{
    NOT_OFFERED("fmi2SerializedFMUstateSize", "saved states");
}
fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t)
{
    NOT_OFFERED("fmi2SerializeFMUstate", "saved states");
}
fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t, fmi2FMUstate*)
{
    NOT_OFFERED("fmi2DeSerializeFMUstate", "saved states");
}
fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2ValueReference[],
                                        size_t, const fmi2Real[], fmi2Real[])
{
    NOT_OFFERED("fmi2GetDirectionalDerivative", "directional derivatives");
}
fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                       const fmi2Real[])
{
    NOT_OFFERED("fmi2SetRealInputDerivatives", "input derivatives");
}
fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                        fmi2Real[])
{
    NOT_OFFERED("fmi2GetRealOutputDerivatives", "output derivatives");
}
fmi2Status fmi2CancelStep(fmi2Component c) { NOT_OFFERED("fmi2CancelStep", "asynchronous steps"); }

// ---- Status queries ---------------------------------------------------------------

#define STATUS_PHASES Phase::stepComplete, Phase::terminated

fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*)
{
    fmi2Status status = fmi2OK;
    return instanceIn(c, "fmi2GetStatus", status, STATUS_PHASES) == nullptr ? status : fmi2Discard;
}

fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind s, fmi2Real* value)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetRealStatus", status, STATUS_PHASES);
    if (instance == nullptr) {
        return status;
    }
    if (s != fmi2LastSuccessfulTime || value == nullptr) {
        return fmi2Discard;
    }
    *value = instance->lastSuccessfulTime;
    return fmi2OK;
}

fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*)
{
    fmi2Status status = fmi2OK;
    return instanceIn(c, "fmi2GetIntegerStatus", status, STATUS_PHASES) == nullptr ? status : fmi2Discard;
}

fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind s, fmi2Boolean* value)
{
    fmi2Status status = fmi2OK;
    Instance* instance = instanceIn(c, "fmi2GetBooleanStatus", status, STATUS_PHASES);
    if (instance == nullptr) {
        return status;
    }
    if (s != fmi2Terminated || value == nullptr) {
        return fmi2Discard;
    }
    *value = fmi2False;  // the slave never asks to end the simulation
    return fmi2OK;
}

fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*)
{
    fmi2Status status = fmi2OK;
    return instanceIn(c, "fmi2GetStringStatus", status, STATUS_PHASES) == nullptr ? status : fmi2Discard;
}

}  // extern "C"
