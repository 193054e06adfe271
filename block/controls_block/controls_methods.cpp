// The controls block's methods: its sizes, the listening socket from start
// to terminate, and the datagrams of each major step.
#include <cstring>

#include "controls_block.h"
#include "rules.h"

namespace orvalink {
namespace controls {

using platform::socketCalls;

namespace {

void writeOutputs(SimStruct* S, const Receiver& receiver, double now)
{
    real_T* flight = ssGetOutputPortRealSignal(S, FLIGHT_PORT);
    real_T* engines = ssGetOutputPortRealSignal(S, ENGINES_PORT);
    real_T* gear = ssGetOutputPortRealSignal(S, GEAR_PORT);
    real_T* status = ssGetOutputPortRealSignal(S, STATUS_PORT);
    if (flight == nullptr || engines == nullptr || gear == nullptr || status == nullptr) {
        return;  // the host gave no signal to write
    }
    const ctrls27::Controls& held = receiver.held;
    std::memcpy(flight, held.flight, sizeof held.flight);
    std::memcpy(engines, held.throttle, sizeof held.throttle);
    std::memcpy(engines + ctrls27::maxEngines, held.mixture, sizeof held.mixture);
    std::memcpy(engines + 2 * ctrls27::maxEngines, held.propeller, sizeof held.propeller);
    std::memcpy(gear, held.gear, sizeof held.gear);
    status[TAKEN] = receiver.taken;
    status[REFUSED] = receiver.refused;
    status[AGE] = ageOf(receiver, now);
}

}  // namespace

const char* dialogProblem(SimStruct* S, const Variant& variant)
{
    const int_T given = ssGetSFcnParamsCount(S);
    if (given != NUM_DIALOG_PARAMS) {
        return parameterCountRefusal("orvalink_controls", "3 parameters (SampleTime, HostName, PortNumber)", given);
    }
    return commonDialogProblem(S, variant);
}

bool mdlInitializeSizes(SimStruct* S, const Variant& variant)
{
    ssSetNumSFcnParams(S, NUM_DIALOG_PARAMS);
    if (ssGetSFcnParamsCount(S) != ssGetNumSFcnParams(S)) {
        return false;  // the host reports a wrong count
    }
    const char* problem = controls::dialogProblem(S, variant);
    if (problem != nullptr) {
        ssSetErrorStatus(S, problem);
        return false;
    }
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 0) || !ssSetNumOutputPorts(S, NUM_OUTPUT_PORTS)) {
        return false;
    }
    for (int_T port = 0; port < NUM_OUTPUT_PORTS; ++port) {
        ssSetOutputPortWidth(S, port, outputPortWidths[port]);
    }
    declareWorkAndStart(S, variant, numPWork);
    return true;
}

void mdlStart(SimStruct* S, const Variant& variant)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    mdlTerminate(S);  // what a start without a terminate since left
    Receiver* cell = static_cast<Receiver*>(socketCalls.allocate(sizeof(Receiver)));
    if (cell == nullptr) {
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    cell->socket = platform::noSocket;
    work[0] = cell;

    char name[hostNameBufferSize];
    std::uint16_t port = 0;
    if (!hostNameText(S, variant, name) || !portNumber(S, variant, port)) {
        ssSetErrorStatus(S, connectFailedMessage);
        return;
    }
    ListenFailure failure = ListenFailure::none;
    cell->socket = openListener(name, port, failure);
    if (cell->socket == platform::noSocket) {
        ssSetErrorStatus(S, listenRefusal(name, port, failure));
    }
}

void mdlOutputs(SimStruct* S, int_T tid)
{
    (void)tid;
    // Minor steps take nothing: the outputs hold the last major step's values.
    if (!ssIsMajorTimeStep(S)) {
        return;
    }
    void** work = ssGetPWork(S);
    Receiver* cell = work != nullptr ? static_cast<Receiver*>(work[0]) : nullptr;
    if (cell == nullptr) {
        return;  // no mdlStart: nothing of ours to read
    }
    double now = 0.0;
    const bool took = takeQueued(*cell, now);
    writeOutputs(S, *cell, stepTime(*cell, took, now));
}

void mdlTerminate(SimStruct* S)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        return;
    }
    Receiver* cell = static_cast<Receiver*>(work[0]);
    if (cell != nullptr) {
        closeLink(cell->socket);
    }
    socketCalls.release(cell);
    work[0] = nullptr;
}

}  // namespace controls
}  // namespace orvalink
