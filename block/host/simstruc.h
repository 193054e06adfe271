// The host's per-block structure, shared by the block and the emulated host,
// and the accessors through which an S-function reaches it. The accessor
// names follow the host's conventional S-function macros.
//
// Two assumptions a host must meet:
// - The layout below is this project's own. The host's record formats are
//   left open, so byte sizes quoted for another host's 32-bit structures
//   (520, 400, 64 and 56 bytes) do not describe this layout; a host built
//   against this header uses these definitions, not those sizes.
// - The pointer-work vector (`pwork`) is zeroed by the host before the first
//   mdlStart. mdlStart first closes and frees whatever the two slots hold,
//   so that a restart without a terminate leaks nothing; junk in a slot
//   would be freed as if the block had allocated it.
#pragma once

#include <stdint.h>

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SimStruct_tag SimStruct;

// The host's scalar types, as the block's core names them.
typedef double real_T;
typedef int int_T;
typedef unsigned int uint_T;
typedef unsigned char boolean_T;

// Entry numbers of the sizes block (38 consecutive 32-bit words).
enum SizesEntry {
    SIZES_NUM_CONT_STATES = 0,
    SIZES_NUM_DISC_STATES = 1,
    SIZES_NUM_OUTPUT_PORTS = 2,
    SIZES_NUM_INPUT_PORTS = 3,
    SIZES_CALL_ARGUMENT = 4,  // port index, or task marker, of a flag call
    SIZES_NUM_SAMPLE_TIMES = 6,
    SIZES_NUM_SFCN_PARAMS = 7,
    SIZES_NUM_IWORK = 8,
    SIZES_NUM_RWORK = 9,
    SIZES_NUM_PWORK = 10,
    SIZES_FIRST_UNSIGNED_HOST_WORD = 15,
    SIZES_LAST_UNSIGNED_HOST_WORD = 18,
    SIZES_VERSION = 19,
    SIZES_NUM_NONSAMPLED_ZCS = 20,
    SIZES_NUM_MODES = 22,
    SIZES_OPTIONS = 23,
    SIZES_FLAGS = 31,
    SIZES_COUNT = 38
};

enum {
    SIZES_FLAG_DIMENSION_INFO_FORM = 1u << 0,  // port widths through dimension info
    SIZES_FLAG_LOCAL_PORT_COUNTS = 1u << 1,    // set by a local structure's port counts
    PORT_FLAG_CONTIGUOUS = 1u << 5             // input port wants a contiguous signal
};

typedef struct {
    int32_t width;
    int32_t numDims;
    const int32_t* dims;
} DimsInfo_T;

typedef struct {
    int32_t width;
    int32_t directFeedThrough;
    uint32_t flags;        // PORT_FLAG_CONTIGUOUS
    const double* signal;  // the port's doubles, set by the host before mdlOutputs
} InputPortRecord;

typedef struct {
    int32_t width;
    int32_t flags;
    double* signal;
} OutputPortRecord;

// A port-count registration: the routine answers nonzero when it accepts n.
typedef int (*PortCountFcn)(void* context, int n);
typedef struct {
    PortCountFcn fcn;
    void* context;
} PortCountRegistration;

// Per-call values the host leaves for the method a flag call runs.
typedef struct {
    int32_t first;              // 1 in a structure the block builds itself
    int32_t callValue;          // width, data type, complexity or frame setting
    const DimsInfo_T* dimsInfo; // dimension info for the dimension-info form
    double sampleTime;
    double offsetTime;
} ModelInfo;

typedef void (*MethodFcn)(SimStruct* S);
typedef void (*OutputsFcn)(SimStruct* S, int tid);
typedef void (*PortValueFcn)(SimStruct* S, int port, int value);
typedef void (*PortDimsFcn)(SimStruct* S, int port, const DimsInfo_T* dimsInfo);
typedef void (*PortSampleTimeFcn)(SimStruct* S, int port, double sampleTime, double offsetTime);
typedef void (*AnyMethodFcn)(void);  // a slot whose form the flags word decides

// The host's method table; the first seven slots are the ones a block fills.
typedef struct {
    MethodFcn mdlInitializeSizes;
    MethodFcn mdlInitializeSampleTimes;
    MethodFcn mdlStart;
    MethodFcn mdlGetTimeOfNextVarHit;
    OutputsFcn mdlOutputs;
    MethodFcn mdlZeroCrossings;
    MethodFcn mdlTerminate;
    MethodFcn mdlSetWorkWidths;
    MethodFcn mdlCheckParameters;
    PortValueFcn mdlSetInputPortDataType;
    PortValueFcn mdlSetOutputPortDataType;
    AnyMethodFcn mdlSetInputPortWidth;   // PortValueFcn, or PortDimsFcn in the dimension-info form
    AnyMethodFcn mdlSetOutputPortWidth;  // likewise
    PortValueFcn mdlSetInputPortComplexSignal;
    PortValueFcn mdlSetOutputPortComplexSignal;
    PortSampleTimeFcn mdlSetInputPortSampleTime;
    PortSampleTimeFcn mdlSetOutputPortSampleTime;
} MethodTable;

typedef struct {
    PortValueFcn mdlSetInputPortFrameData;
    MethodFcn mdlSetDefaultPortDimensionInfo;
    MethodFcn mdlSetDefaultPortDataTypes;
    MethodFcn mdlSetDefaultPortComplexSignals;
} ExtendedMethodTable;

struct SimStruct_tag {
    int32_t sizes[SIZES_COUNT];
    const char* modelName;  // the S-function's name as the host records it
    const char* path;
    SimStruct* root;
    const char* errorStatus;  // read by the host after every call
    ModelInfo* modelInfo;
    int32_t numSFcnParamsGiven;
    const mxArray** sfcnParams;
    InputPortRecord* inputPorts;
    OutputPortRecord* outputPorts;
    PortCountRegistration inputPortCount;
    PortCountRegistration outputPortCount;
    double* sampleTimes;
    double* offsetTimes;
    void** pwork;
    MethodTable methods;
    ExtendedMethodTable* extendedMethods;
};

#ifdef __cplusplus
}

// Accessors, named after the host's S-function macros.
inline SimStruct* ssGetRootSS(SimStruct* S) { return S->root != nullptr ? S->root : S; }
inline void ssSetErrorStatus(SimStruct* S, const char* message) { ssGetRootSS(S)->errorStatus = message; }
inline const char* ssGetErrorStatus(SimStruct* S) { return ssGetRootSS(S)->errorStatus; }
inline const char* ssGetModelName(const SimStruct* S) { return S->modelName; }
inline const char* ssGetPath(const SimStruct* S) { return S->path; }

inline int32_t ssGetSizesWord(const SimStruct* S, int entry) { return S->sizes[entry]; }
inline void ssSetSizesWord(SimStruct* S, int entry, int32_t value) { S->sizes[entry] = value; }

inline void ssSetNumSFcnParams(SimStruct* S, int n) { S->sizes[SIZES_NUM_SFCN_PARAMS] = n; }
inline int ssGetNumSFcnParams(const SimStruct* S) { return S->sizes[SIZES_NUM_SFCN_PARAMS]; }
inline int ssGetSFcnParamsCount(const SimStruct* S) { return S->numSFcnParamsGiven; }
// Null when the host gave no parameter array.
inline const mxArray* ssGetSFcnParam(const SimStruct* S, int index)
{
    return S->sfcnParams != nullptr ? S->sfcnParams[index] : nullptr;
}

inline void ssSetNumContStates(SimStruct* S, int n) { S->sizes[SIZES_NUM_CONT_STATES] = n; }
inline void ssSetNumDiscStates(SimStruct* S, int n) { S->sizes[SIZES_NUM_DISC_STATES] = n; }
inline int ssSetNumInputPorts(SimStruct* S, int n)
{
    return S->inputPortCount.fcn != nullptr ? S->inputPortCount.fcn(S->inputPortCount.context, n) : 0;
}
inline int ssSetNumOutputPorts(SimStruct* S, int n)
{
    return S->outputPortCount.fcn != nullptr ? S->outputPortCount.fcn(S->outputPortCount.context, n) : 0;
}
inline int ssGetNumInputPorts(const SimStruct* S) { return S->sizes[SIZES_NUM_INPUT_PORTS]; }
inline int ssGetNumOutputPorts(const SimStruct* S) { return S->sizes[SIZES_NUM_OUTPUT_PORTS]; }
inline void ssSetInputPortWidth(SimStruct* S, int port, int width) { S->inputPorts[port].width = width; }
inline int ssGetInputPortWidth(const SimStruct* S, int port) { return S->inputPorts[port].width; }
inline void ssSetInputPortDirectFeedThrough(SimStruct* S, int port, int on) { S->inputPorts[port].directFeedThrough = on; }
inline void ssSetInputPortRequiredContiguous(SimStruct* S, int port, int on)
{
    if (on != 0) {
        S->inputPorts[port].flags |= PORT_FLAG_CONTIGUOUS;
    } else {
        S->inputPorts[port].flags &= ~static_cast<uint32_t>(PORT_FLAG_CONTIGUOUS);
    }
}
// Null when the host has no record for the port.
inline const double* ssGetInputPortRealSignal(const SimStruct* S, int port)
{
    if (S->inputPorts == nullptr || port < 0 || port >= ssGetNumInputPorts(S)) {
        return nullptr;
    }
    return S->inputPorts[port].signal;
}

inline void ssSetNumSampleTimes(SimStruct* S, int n) { S->sizes[SIZES_NUM_SAMPLE_TIMES] = n; }
inline void ssSetNumRWork(SimStruct* S, int n) { S->sizes[SIZES_NUM_RWORK] = n; }
inline void ssSetNumIWork(SimStruct* S, int n) { S->sizes[SIZES_NUM_IWORK] = n; }
inline void ssSetNumPWork(SimStruct* S, int n) { S->sizes[SIZES_NUM_PWORK] = n; }
inline void ssSetNumModes(SimStruct* S, int n) { S->sizes[SIZES_NUM_MODES] = n; }
inline void ssSetNumNonsampledZCs(SimStruct* S, int n) { S->sizes[SIZES_NUM_NONSAMPLED_ZCS] = n; }
inline void ssSetOptions(SimStruct* S, uint32_t options) { S->sizes[SIZES_OPTIONS] = static_cast<int32_t>(options); }
inline void ssSetSampleTime(SimStruct* S, int index, double period) { S->sampleTimes[index] = period; }
inline void ssSetOffsetTime(SimStruct* S, int index, double offset) { S->offsetTimes[index] = offset; }
inline void** ssGetPWork(const SimStruct* S) { return S->pwork; }
// This host takes no minor steps: every call of mdlOutputs is a major step.
inline int ssIsMajorTimeStep(const SimStruct*) { return 1; }
#endif
