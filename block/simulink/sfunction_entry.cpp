// The MEX entry: the flag dispatch of a running simulation, the MATLAB-side
// call that registers the block, and the local structure for a sizes query.
// mexErrMsgTxt does not return (it jumps back to the host), so nothing with
// a destructor may be alive here when it is called.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "definition.h"
#include "fdm_block.h"
#include "simstruc.h"

namespace orvalink {

constexpr int32_t versionWord = 5200229;
constexpr double versionWordMarker = 5200229.0;
constexpr const char* sFunctionName = "orvalink";
constexpr const char* displayName = "MEX level2 S-function \"orvalink\"";
constexpr std::size_t messageBufferSize = 256;
constexpr uint32_t sizesVectorOption = 0x2000;  // options bit 13

// This build's dialog is the plain one: three parameters, classes as the
// host's arrays tell them.
bool isDoubleParameter(const mxArray* parameter) { return mxIsDouble(parameter); }
bool isTextParameter(const mxArray* parameter) { return mxIsChar(parameter); }
constexpr Variant hostBuild = {false, 0, isDoubleParameter, isTextParameter, nullptr};

void mdlInitializeSizes(SimStruct* S) { (void)mdlInitializeSizes(S, hostBuild); }
void mdlInitializeSampleTimes(SimStruct* S) { mdlInitializeSampleTimes(S, hostBuild); }
void mdlStart(SimStruct* S) { mdlStart(S, hostBuild); }

void timeOfNextVarHitStub(SimStruct* S)
{
    ssSetErrorStatus(S, "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT "
                        "and add a mdlGetTimeOfNextVarHit routine");
}

void zeroCrossingsStub(SimStruct* S)
{
    ssSetErrorStatus(S, "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS "
                        "and have a mdlZeroCrossings routine");
}

namespace {

// ---- Simulation path -------------------------------------------------------

int callPort(const SimStruct* S) { return S->sizes[SIZES_CALL_ARGUMENT]; }
int callValue(const SimStruct* S) { return S->modelInfo != nullptr ? S->modelInfo->callValue : 0; }
const DimsInfo_T* callDimsInfo(const SimStruct* S) { return S->modelInfo != nullptr ? S->modelInfo->dimsInfo : nullptr; }
bool dimensionInfoForm(const SimStruct* S)
{
    return (static_cast<uint32_t>(S->sizes[SIZES_FLAGS]) & SIZES_FLAG_DIMENSION_INFO_FORM) != 0;
}

template <typename Fcn>
bool callPortValue(SimStruct* S, Fcn slot)
{
    if (slot == nullptr) {
        return false;
    }
    slot(S, callPort(S), callValue(S));
    return true;
}

template <typename Fcn>
bool callPlain(SimStruct* S, Fcn slot)
{
    if (slot == nullptr) {
        return false;
    }
    slot(S);
    return true;
}

bool callPortSampleTime(SimStruct* S, PortSampleTimeFcn slot)
{
    if (slot == nullptr) {
        return false;
    }
    const double sampleTime = S->modelInfo != nullptr ? S->modelInfo->sampleTime : 0.0;
    const double offsetTime = S->modelInfo != nullptr ? S->modelInfo->offsetTime : 0.0;
    slot(S, callPort(S), sampleTime, offsetTime);
    return true;
}

// One width slot serves two flags; bit 0 of the flags word says which form the host uses.
bool callWidth(SimStruct* S, AnyMethodFcn slot, bool wantDimensionInfo)
{
    if (dimensionInfoForm(S) != wantDimensionInfo || slot == nullptr) {
        return false;
    }
    if (wantDimensionInfo) {
        reinterpret_cast<PortDimsFcn>(slot)(S, callPort(S), callDimsInfo(S));
    } else {
        reinterpret_cast<PortValueFcn>(slot)(S, callPort(S), callValue(S));
    }
    return true;
}

ExtendedMethodTable emptyExtendedMethods{};
const ExtendedMethodTable& extended(const SimStruct* S)
{
    return S->extendedMethods != nullptr ? *S->extendedMethods : emptyExtendedMethods;
}

struct FlagRow {
    bool (*serve)(SimStruct* S);  // false when the row cannot be served
    const char* message;          // error status when not served
};

constexpr int firstFlag = 101;
constexpr int lastFlag = 133;

// Indexed by flag - firstFlag; a row without a serve routine is an invalid flag.
constexpr std::array<FlagRow, lastFlag - firstFlag + 1> flagTable = [] {
    std::array<FlagRow, lastFlag - firstFlag + 1> rows{};
    auto row = [&rows](int flag, bool (*serve)(SimStruct*), const char* message) {
        rows[static_cast<std::size_t>(flag - firstFlag)] = FlagRow{serve, message};
    };
    row(101, [](SimStruct* S) { mdlInitializeSampleTimes(S); return true; }, nullptr);
    row(103, [](SimStruct* S) { timeOfNextVarHitStub(S); return true; }, nullptr);
    row(104, [](SimStruct* S) { mdlOutputs(S, callPort(S) == -2 ? -2 : 0); return true; }, nullptr);
    row(107, [](SimStruct* S) { mdlTerminate(S); return true; }, nullptr);
    row(108, [](SimStruct* S) { zeroCrossingsStub(S); return true; }, nullptr);
    row(111, [](SimStruct* S) { return callPlain(S, S->methods.mdlSetWorkWidths); },
        "Unexpected call to mdlSetWorkWidths");
    row(112, [](SimStruct* S) { return callPlain(S, S->methods.mdlCheckParameters); },
        "Unexpected call to mdlCheckParameters");
    row(113, [](SimStruct* S) { return callPortValue(S, S->methods.mdlSetInputPortDataType); },
        "Unexpected call to mdlSetInputPortDataType");
    row(114, [](SimStruct* S) { return callPortValue(S, S->methods.mdlSetOutputPortDataType); },
        "Unexpected call to mdlSetOutputPortDataType");
    row(115, [](SimStruct* S) { return callWidth(S, S->methods.mdlSetInputPortWidth, false); },
        "Unexpected call to mdlSetInputPortWidth");
    row(116, [](SimStruct* S) { return callWidth(S, S->methods.mdlSetOutputPortWidth, false); },
        "Unexpected call to mdlSetOutputPortWidth");
    row(117, [](SimStruct* S) {
            if (S->methods.mdlStart == nullptr) {
                return false;
            }
            mdlStart(S);  // the block's own, whatever the slot holds
            return true;
        },
        "Unexpected call to mdlStart");
    row(120, [](SimStruct* S) { return callPortValue(S, S->methods.mdlSetInputPortComplexSignal); },
        "Unexpected call to mdlSetInputPortComplexSignal");
    row(121, [](SimStruct* S) { return callPortValue(S, S->methods.mdlSetOutputPortComplexSignal); },
        "Unexpected call to mdlSetOutputPortComplexSignal");
    row(122, [](SimStruct* S) { return callPortSampleTime(S, S->methods.mdlSetInputPortSampleTime); },
        "Unexpected call to mdlSetInputPortSampleTime");
    row(123, [](SimStruct* S) { return callPortSampleTime(S, S->methods.mdlSetOutputPortSampleTime); },
        "Unexpected call to mdlSetOutputPortSampleTime");
    row(126, [](SimStruct* S) { return callWidth(S, S->methods.mdlSetInputPortWidth, true); },
        "Unexpected call to mdlSetInputPortDimensionInfo");
    row(127, [](SimStruct* S) { return callWidth(S, S->methods.mdlSetOutputPortWidth, true); },
        "Unexpected call to mdlSetOutputPortDimensionInfo");
    row(128, [](SimStruct* S) { return callPortValue(S, extended(S).mdlSetInputPortFrameData); },
        "Unexpected call to mdlSetInputPortFrameData");
    row(131, [](SimStruct* S) { return callPlain(S, extended(S).mdlSetDefaultPortDimensionInfo); },
        "Unexpected call to mdlSetDefaultPortDimensionInfo");
    row(132, [](SimStruct* S) { return callPlain(S, extended(S).mdlSetDefaultPortDataTypes); },
        "Unexpected call to mdlSetDefaultPortDataTypes");
    row(133, [](SimStruct* S) { return callPlain(S, extended(S).mdlSetDefaultPortComplexSignals); },
        "Unexpected call to mdlSetDefaultPortComplexSignals");
    return rows;
}();

constexpr const char* invalidFlagMessage = "Invalid flag encountered in simulink";

// The flag of a simulation call, truncated toward zero; 0 (invalid) when
// there is no finite double to read.
int simulationFlag(int nrhs, const mxArray* prhs[])
{
    if (nrhs < 4 || prhs == nullptr || prhs[3] == nullptr || !mxIsDouble(prhs[3]) ||
        mxGetNumberOfElements(prhs[3]) == 0) {
        return 0;
    }
    const double* value = mxGetPr(prhs[3]);
    if (value == nullptr || !(*value > -2147483649.0 && *value < 2147483648.0)) {
        return 0;
    }
    return static_cast<int>(*value);
}

void processSimulationCall(mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (plhs == nullptr || plhs[1] == nullptr) {
        return;  // no structure to run on or to report to
    }
    auto* S = reinterpret_cast<SimStruct*>(plhs[1]);
    const int flag = simulationFlag(nrhs, prhs);
    if (flag < firstFlag || flag > lastFlag) {
        ssSetErrorStatus(S, invalidFlagMessage);
        return;
    }
    const FlagRow& row = flagTable[static_cast<std::size_t>(flag - firstFlag)];
    if (row.serve == nullptr) {
        ssSetErrorStatus(S, invalidFlagMessage);
    } else if (!row.serve(S)) {
        ssSetErrorStatus(S, row.message);
    }
}

// ---- MATLAB-side path ------------------------------------------------------

[[noreturn]] void reportMatlabError(char (&buffer)[messageBufferSize], const char* format)
{
    std::snprintf(buffer, sizeof buffer, format, displayName);
    mexErrMsgTxt(buffer);
}

bool isIntegerFlag(const mxArray* flag)
{
    if (flag == nullptr || mxGetM(flag) * mxGetN(flag) != 1 || mxIsComplex(flag) || !mxIsNumeric(flag) ||
        !mxIsDouble(flag)) {
        return false;
    }
    const double* value = mxGetPr(flag);
    if (value == nullptr || !(*value >= -2147483648.0 && *value < 2147483648.0)) {
        return false;  // also every NaN
    }
    return static_cast<double>(static_cast<int32_t>(*value)) == *value;
}

// The host's structure when the second argument hands one over, else null.
SimStruct* handedOverSimStruct(const mxArray* handOver)
{
    if (handOver == nullptr || !mxIsDouble(handOver) || mxGetM(handOver) != 2 || mxGetN(handOver) < 1) {
        return nullptr;
    }
    const double* data = mxGetPr(handOver);
    if (data == nullptr || data[1] != versionWordMarker) {
        return nullptr;
    }
    // The address travels exactly in the double, as a pointer-width integer;
    // a 32-bit build keeps its low 32 bits, so a signed 32-bit form works too.
    constexpr double exactLimit = 9007199254740992.0;  // 2^53
    if (!(data[0] > -exactLimit && data[0] < exactLimit)) {
        return nullptr;
    }
    const auto address = static_cast<uintptr_t>(static_cast<uint64_t>(static_cast<int64_t>(data[0])));
    return reinterpret_cast<SimStruct*>(address);  // null (no structure) for 0
}

[[noreturn]] void reportNameMismatch(char (&buffer)[messageBufferSize], const char* hostName)
{
    static constexpr const char* format =
        "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME %s\", whereas name of the "
        "S-function MEX file is \"%.*s\". The source needs to be updated";
    // Cut the host's name so that the whole message fits.
    const int fixed = std::snprintf(nullptr, 0, format, sFunctionName, 0, "");
    const int room = static_cast<int>(messageBufferSize) - 1 - fixed;
    std::snprintf(buffer, sizeof buffer, format, sFunctionName, room > 0 ? room : 0, hostName);
    mexErrMsgTxt(buffer);
}

void fillMethodSlots(SimStruct* S)
{
    S->methods.mdlInitializeSizes = mdlInitializeSizes;
    S->methods.mdlInitializeSampleTimes = mdlInitializeSampleTimes;
    S->methods.mdlStart = mdlStart;
    S->methods.mdlGetTimeOfNextVarHit = timeOfNextVarHitStub;
    S->methods.mdlOutputs = mdlOutputs;
    S->methods.mdlZeroCrossings = zeroCrossingsStub;
    S->methods.mdlTerminate = mdlTerminate;
}

}  // namespace

int setNumInputPortsLocal(void* context, int n)
{
    if (n < 0) {
        return 0;
    }
    auto* S = static_cast<SimStruct*>(context);
    InputPortRecord* records = nullptr;
    if (n > 0) {
        records = static_cast<InputPortRecord*>(mxCalloc(static_cast<std::size_t>(n), sizeof(InputPortRecord)));
        if (records == nullptr) {
            return 0;
        }
    }
    S->sizes[SIZES_NUM_INPUT_PORTS] = n;
    S->sizes[SIZES_FLAGS] |= SIZES_FLAG_LOCAL_PORT_COUNTS;
    S->inputPorts = records;
    return 1;
}

int setNumOutputPortsLocal(void* context, int n)
{
    if (n < 0) {
        return 0;
    }
    auto* S = static_cast<SimStruct*>(context);
    OutputPortRecord* records = nullptr;
    if (n > 0) {
        records = static_cast<OutputPortRecord*>(mxCalloc(static_cast<std::size_t>(n), sizeof(OutputPortRecord)));
        if (records == nullptr) {
            return 0;
        }
    }
    S->sizes[SIZES_NUM_OUTPUT_PORTS] = n;
    S->sizes[SIZES_FLAGS] |= SIZES_FLAG_LOCAL_PORT_COUNTS;
    S->outputPorts = records;
    return 1;
}

// Null when the host cannot supply the memory.
SimStruct* createLocalSimStruct(int nrhs, const mxArray* prhs[])
{
    const int numParams = nrhs > 4 ? nrhs - 4 : 0;
    auto* S = static_cast<SimStruct*>(mxCalloc(1, sizeof(SimStruct)));
    auto* modelInfo = static_cast<ModelInfo*>(mxCalloc(1, sizeof(ModelInfo)));
    if (S == nullptr || modelInfo == nullptr) {
        return nullptr;
    }
    S->root = S;
    S->modelInfo = modelInfo;
    modelInfo->first = 1;
    S->numSFcnParamsGiven = numParams;
    S->modelName = sFunctionName;
    S->path = sFunctionName;
    if (numParams > 0) {
        auto* params = static_cast<const mxArray**>(mxCalloc(static_cast<std::size_t>(numParams), sizeof(mxArray*)));
        if (params == nullptr) {
            return nullptr;
        }
        for (int i = 0; i < numParams; ++i) {
            params[i] = prhs[4 + i];
        }
        S->sfcnParams = params;
    }
    S->inputPortCount = PortCountRegistration{setNumInputPortsLocal, S};
    S->outputPortCount = PortCountRegistration{setNumOutputPortsLocal, S};
    return S;
}

void processMatlabCall(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    char message[messageBufferSize];
    if (nrhs < 4) {
        reportMatlabError(message, "%s must be called with at least 4 right hand arguments");
    }
    if (nlhs > 1) {
        reportMatlabError(message, "%s called with too many left hand arguments");
    }
    if (!isIntegerFlag(prhs[3])) {
        reportMatlabError(message, "The 4th right hand argument, FLAG, passed to %s must be an integer");
    }
    if (static_cast<int32_t>(*mxGetPr(prhs[3])) != 0) {
        reportMatlabError(message, "Invalid flag passed to %s");
    }

    SimStruct* S = handedOverSimStruct(prhs[1]);
    if (S != nullptr) {
        const char* hostName = S->modelName != nullptr ? S->modelName : "";
        if (std::strcmp(hostName, sFunctionName) != 0) {
            reportNameMismatch(message, hostName);
        }
        fillMethodSlots(S);
    } else {
        S = createLocalSimStruct(nrhs, prhs);
        if (S == nullptr) {
            reportMatlabError(message, "%s could not allocate its local SimStruct");
        }
    }

    S->sizes[SIZES_VERSION] = versionWord;
    mdlInitializeSizes(S);

    mxArray* result = mxCreateDoubleMatrix(SIZES_COUNT, 1, mxREAL);
    double* entries = result != nullptr ? mxGetPr(result) : nullptr;
    if (entries == nullptr) {
        reportMatlabError(message, "%s could not allocate its sizes vector");
    }
    plhs[0] = result;
    for (int k = 0; k < SIZES_COUNT; ++k) {
        entries[k] = S->sizes[k];
    }
    S->sizes[SIZES_OPTIONS] = static_cast<int32_t>(static_cast<uint32_t>(S->sizes[SIZES_OPTIONS]) | sizesVectorOption);
    for (int k = SIZES_FIRST_UNSIGNED_HOST_WORD; k <= SIZES_LAST_UNSIGNED_HOST_WORD; ++k) {
        entries[k] = static_cast<uint32_t>(S->sizes[k]);
    }
    entries[SIZES_OPTIONS] = static_cast<uint32_t>(S->sizes[SIZES_OPTIONS]);
}

}  // namespace orvalink

extern "C" MEX_ENTRY_POINT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nlhs < 0) {
        orvalink::processSimulationCall(plhs, nrhs, prhs);
    } else {
        orvalink::processMatlabCall(nlhs, plhs, nrhs, prhs);
    }
}
