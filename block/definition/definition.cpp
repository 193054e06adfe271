// mdlInitializeSizes and mdlInitializeSampleTimes.
#include "definition.h"

#include "link.h"

namespace orvalink {

const mxArray* dialogParameter(SimStruct* S, int_T index)
{
    if (index >= ssGetSFcnParamsCount(S)) {
        return nullptr;
    }
    return ssGetSFcnParam(S, index);
}

const real_T* firstRealElement(const mxArray* parameter)
{
    // mxGetPr gives the data of any numeric class; only a double holds 8 bytes an element.
    if (parameter == nullptr || !mxIsDouble(parameter) || mxGetNumberOfElements(parameter) == 0) {
        return nullptr;
    }
    return mxGetPr(parameter);
}

void mdlInitializeSizes(SimStruct* S)
{
    ssSetNumSFcnParams(S, NUM_DIALOG_PARAMS);
    // A wrong count is the host's to report.
    if (ssGetSFcnParamsCount(S) != ssGetNumSFcnParams(S)) {
        return;
    }

    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);

    if (!ssSetNumInputPorts(S, numInputPorts)) {
        return;
    }
    for (int_T port = 0; port < numInputPorts; ++port) {
        ssSetInputPortWidth(S, port, inputPortWidths[port]);
        ssSetInputPortRequiredContiguous(S, port, 1);
        ssSetInputPortDirectFeedThrough(S, port, 1);
    }

    if (!ssSetNumOutputPorts(S, 0)) {
        return;
    }

    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, numPWork);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetOptions(S, 0);

    // A failed start shows later, when mdlStart cannot open the link.
    (void)startSocketLibrary();
}

void mdlInitializeSampleTimes(SimStruct* S)
{
    const real_T* period = firstRealElement(dialogParameter(S, SAMPLE_TIME_PARAM));
    if (period == nullptr) {
        ssSetErrorStatus(S, "SampleTime must hold at least one real number");
        return;
    }
    ssSetSampleTime(S, 0, *period);
    ssSetOffsetTime(S, 0, 0.0);
}

}  // namespace orvalink
