/* A second S-function host, for the tests of the block's one-file source.
 * It is laid out as unlike the emulated host as a real host is: every
 * S-function and mx name is a C macro, the structure is made of nested
 * records, input ports are reached through an array of pointers to their
 * records, and each array class stores only its own bytes. Only the names
 * that the block's core may use are defined here, so using any other name
 * fails to compile. */
#ifndef ORVALINK_TEST_SECOND_HOST_SIMSTRUC_H
#define ORVALINK_TEST_SECOND_HOST_SIMSTRUC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double real_T;
typedef double time_T;
typedef int int_T;
typedef unsigned int uint_T;
typedef unsigned char boolean_T;
typedef char char_T;

typedef struct th_Array mxArray;
typedef struct th_SimStruct SimStruct;

/* The mx names generated code has (Simulink Coder's twelve); its
 * mxGetString gives no result to use. A MEX file has the class checks too. */
real_T* th_mxGetPr(const mxArray* array);
int th_mxGetString(const mxArray* array, char_T* buffer, size_t length);
size_t th_mxGetM(const mxArray* array);
size_t th_mxGetN(const mxArray* array);
boolean_T th_mxIsEmpty(const mxArray* array);
real_T th_mxGetScalar(const mxArray* array);

#define mxGetPr(a) th_mxGetPr(a)
#define mxGetDoubles(a) th_mxGetPr(a)
#define mxGetM(a) th_mxGetM(a)
#define mxGetN(a) th_mxGetN(a)
#define mxIsEmpty(a) th_mxIsEmpty(a)
#define mxGetScalar(a) th_mxGetScalar(a)
#define mxGetEps() 2.220446049250313e-16
#define mxGetInf() (1.0 / 0.0)
#define mxGetNaN() (0.0 / 0.0)
#define mxIsFinite(x) ((x) - (x) == 0.0)
#define mxIsInf(x) ((x) != 0.0 && (x) + (x) == (x))

#if defined(MATLAB_MEX_FILE)
boolean_T th_mxIsDouble(const mxArray* array);
boolean_T th_mxIsChar(const mxArray* array);
boolean_T th_mxIsNumeric(const mxArray* array);
boolean_T th_mxIsComplex(const mxArray* array);
size_t th_mxGetNumberOfElements(const mxArray* array);
int th_mexAtExit(void (*exitFunction)(void));

#define mxGetString(a, buffer, length) th_mxGetString((a), (buffer), (length))
#define mxIsDouble(a) th_mxIsDouble(a)
#define mxIsChar(a) th_mxIsChar(a)
#define mxIsNumeric(a) th_mxIsNumeric(a)
#define mxIsComplex(a) th_mxIsComplex(a)
#define mxGetNumberOfElements(a) th_mxGetNumberOfElements(a)
#define mexAtExit(f) th_mexAtExit(f)
#else
#define mxGetString(a, buffer, length) ((void)th_mxGetString((a), (buffer), (length)))
#endif

typedef void (*th_Method)(SimStruct* S);
typedef void (*th_OutputsMethod)(SimStruct* S, int_T tid);

struct th_InputPort {
    int_T width;
    int_T directFeedThrough;
    int_T requiredContiguous;
    const real_T* contiguousSignal; /* the port's doubles, when contiguous */
};

struct th_OutputPort {
    int_T width;
    real_T* signal; /* the port's doubles */
};

struct th_SimStruct {
    struct {
        const char_T* modelName;
        const char_T* path;
        SimStruct* rootSS;
    } blkInfo;
    struct {
        int_T numContStates;
        int_T numDiscStates;
        int_T numSampleTimes;
        int_T numRWork;
        int_T numIWork;
        int_T numPWork;
        int_T numModes;
        int_T numNonsampledZCs;
        int_T numSFcnParams;
        uint_T options;
    } sizes;
    struct {
        int_T dlgNum;
        const mxArray** dlgParams;
    } sfcnParams;
    struct {
        int_T numInputPorts;  /* -1 until set */
        int_T numOutputPorts; /* -1 until set */
        struct th_InputPort** inputs;
        struct th_OutputPort* outputs;
        int_T refuse; /* a test's: 1 refuses the input port count, 2 the output port count */
    } portInfo;
    struct {
        time_T* sampleTimes;
        time_T* offsetTimes;
    } stInfo;
    struct {
        void** pWork;
    } work;
    struct {
        const char_T* errorStatus;
        int_T majorTimeStep; /* 0 in a solver's minor step */
    } mdlInfo;
    struct {
        int_T tunable[8];           /* per dialog parameter, 1 until the block says */
        int_T tunableOutOfRange;    /* the block named a parameter the dialog does not have */
        int_T operatingPoint;       /* as the block declared it, 0 for unknown */
        int_T runtimeThreadSafety;  /* likewise */
    } declared;
    struct { /* filled by the entry code */
        const char_T* name;
        int_T level;
        th_Method initializeSizes;
        th_Method initializeSampleTimes;
        th_Method start;
        th_Method checkParameters;
        th_OutputsMethod outputs;
        th_Method terminate;
    } sfcn;
};

boolean_T th_ssSetNumInputPorts(SimStruct* S, int_T count);
boolean_T th_ssSetNumOutputPorts(SimStruct* S, int_T count);

#define ssSetNumSFcnParams(S, n) ((S)->sizes.numSFcnParams = (n))
#define ssGetNumSFcnParams(S) ((S)->sizes.numSFcnParams)
#define ssGetSFcnParamsCount(S) ((S)->sfcnParams.dlgNum)
#define ssGetSFcnParam(S, index) ((S)->sfcnParams.dlgParams[(index)])
#define ssSetNumContStates(S, n) ((S)->sizes.numContStates = (n))
#define ssSetNumDiscStates(S, n) ((S)->sizes.numDiscStates = (n))
#define ssSetNumInputPorts(S, n) th_ssSetNumInputPorts((S), (n))
#define ssSetNumOutputPorts(S, n) th_ssSetNumOutputPorts((S), (n))
#define ssSetInputPortWidth(S, port, w) ((S)->portInfo.inputs[(port)]->width = (w))
#define ssSetInputPortDirectFeedThrough(S, port, on) ((S)->portInfo.inputs[(port)]->directFeedThrough = (on))
#define ssSetInputPortRequiredContiguous(S, port, on) ((S)->portInfo.inputs[(port)]->requiredContiguous = (on))
#define ssGetInputPortRealSignal(S, port) ((S)->portInfo.inputs[(port)]->contiguousSignal)
#define ssSetOutputPortWidth(S, port, w) ((S)->portInfo.outputs[(port)].width = (w))
#define ssGetOutputPortRealSignal(S, port) ((S)->portInfo.outputs[(port)].signal)
#define ssSetNumSampleTimes(S, n) ((S)->sizes.numSampleTimes = (n))
#define ssSetNumRWork(S, n) ((S)->sizes.numRWork = (n))
#define ssSetNumIWork(S, n) ((S)->sizes.numIWork = (n))
#define ssSetNumPWork(S, n) ((S)->sizes.numPWork = (n))
#define ssGetPWork(S) ((S)->work.pWork)
#define ssSetNumModes(S, n) ((S)->sizes.numModes = (n))
#define ssSetNumNonsampledZCs(S, n) ((S)->sizes.numNonsampledZCs = (n))
#define ssSetOptions(S, opts) ((S)->sizes.options = (opts))
#define ssSetSampleTime(S, index, period) ((S)->stInfo.sampleTimes[(index)] = (period))
#define ssSetOffsetTime(S, index, offset) ((S)->stInfo.offsetTimes[(index)] = (offset))
#define ssSetErrorStatus(S, message) ((S)->blkInfo.rootSS->mdlInfo.errorStatus = (message))
#define ssGetErrorStatus(S) ((S)->blkInfo.rootSS->mdlInfo.errorStatus)
#define ssGetPath(S) ((S)->blkInfo.path)
#define ssGetModelName(S) ((S)->blkInfo.modelName)
#define ssIsMajorTimeStep(S) ((S)->mdlInfo.majorTimeStep != 0)
void th_ssSetSFcnParamTunable(SimStruct* S, int_T index, int_T on);
#define ssSetSFcnParamTunable(S, index, on) th_ssSetSFcnParamTunable((S), (index), (on))

#define SS_OPTION_EXCEPTION_FREE_CODE 0x0001u
#define SS_OPTION_DISALLOW_CONSTANT_SAMPLE_TIME 0x0100u
#define SS_OPTION_CALL_TERMINATE_ON_EXIT 0x4000u

/* Releases before R2019b name operating points SimState; older ones than
 * R2018a have no thread-safety declaration. A test build picks the release. */
#if defined(TH_RELEASE_BEFORE_R2019B)
#define USE_EMPTY_SIM_STATE 2
#define ssSetSimStateCompliance(S, setting) ((S)->declared.operatingPoint = (setting))
#else
#define USE_EMPTY_OPERATING_POINT 2
#define ssSetOperatingPointCompliance(S, setting) ((S)->declared.operatingPoint = (setting))
#endif
#if !defined(TH_RELEASE_BEFORE_R2018A)
#define RUNTIME_THREAD_SAFETY_COMPLIANCE_TRUE 1
#define ssSetRuntimeThreadSafetyCompliance(S, setting) ((S)->declared.runtimeThreadSafety = (setting))
#endif

#ifdef __cplusplus
}
#endif

#endif
