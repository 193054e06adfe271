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

const real_T* realElements(const mxArray* parameter, const Variant& variant, std::size_t& count)
{
    count = 0;
    // mxGetPr gives the data of any numeric class; only a double holds 8 bytes an element.
    if (parameter == nullptr || (variant.isRealDouble != nullptr && !variant.isRealDouble(parameter))) {
        return nullptr;
    }
    const std::size_t elements = mxGetM(parameter) * mxGetN(parameter);
    const real_T* values = elements > 0 ? mxGetPr(parameter) : nullptr;
    if (values != nullptr) {
        count = elements;
    }
    return values;
}

bool mdlInitializeSizes(SimStruct* S, const Variant& variant)
{
    if (variant.simulinkDialog) {
        ssSetNumSFcnParams(S, -1);  // three or four: the block counts them itself
    } else {
        ssSetNumSFcnParams(S, NUM_DIALOG_PARAMS);
        // A wrong count is the host's to report.
        if (ssGetSFcnParamsCount(S) != ssGetNumSFcnParams(S)) {
            return false;
        }
    }
    if (variant.simulinkDialog) {
        const char* problem = dialogProblem(S, variant);
        if (problem != nullptr) {
            ssSetErrorStatus(S, problem);
            return false;
        }
    }

    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);

    if (!ssSetNumInputPorts(S, numInputPorts)) {
        return false;
    }
    for (int_T port = 0; port < numInputPorts; ++port) {
        ssSetInputPortWidth(S, port, inputPortWidths[port]);
        ssSetInputPortRequiredContiguous(S, port, 1);
        ssSetInputPortDirectFeedThrough(S, port, 1);
    }

    if (!ssSetNumOutputPorts(S, 0)) {
        return false;
    }

    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, numPWork);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetOptions(S, variant.options);

    // A failed start shows later, when mdlStart cannot open the link.
    if (startSocketLibrary() && variant.atUnload != nullptr) {
        variant.atUnload(stopSocketLibrary);
    }
    return true;
}

void mdlInitializeSampleTimes(SimStruct* S, const Variant& variant)
{
    std::size_t count = 0;
    const real_T* values = realElements(dialogParameter(S, SAMPLE_TIME_PARAM), variant, count);
    if (values == nullptr) {
        ssSetErrorStatus(S, "SampleTime must hold at least one real number");
        return;
    }
    real_T period = values[0];
    real_T offset = 0.0;
    if (variant.simulinkDialog && !simulinkSampleTime(values, count, period, offset)) {
        ssSetErrorStatus(S, sampleTimeRefusal(dialogParameter(S, SAMPLE_TIME_PARAM), variant));
        return;
    }
    ssSetSampleTime(S, 0, period);
    ssSetOffsetTime(S, 0, offset);
}

}  // namespace orvalink
