// The flight-state block's declaration: mdlInitializeSizes and the
// dialog's fourth parameter, FdmVersion.
#include "fdm_definition.h"

#include "fdm_rules.h"
#include "rules.h"

namespace orvalink {

int fdmVersionOf(SimStruct* S, const Variant& variant)
{
    if (ssGetSFcnParamsCount(S) <= FDM_VERSION_PARAM) {
        return 17;
    }
    std::size_t count = 0;
    const real_T* values = realElements(dialogParameter(S, FDM_VERSION_PARAM), variant, count);
    if (values == nullptr || count != 1 || (values[0] != 17.0 && values[0] != 24.0)) {
        return 0;
    }
    return static_cast<int>(values[0]);
}

const char* dialogProblem(SimStruct* S, const Variant& variant)
{
    const int_T given = ssGetSFcnParamsCount(S);
    if (given < NUM_DIALOG_PARAMS || given > MAX_DIALOG_PARAMS) {
        return parameterCountRefusal(
            "orvalink", "3 or 4 parameters (SampleTime, HostName, PortNumber and optionally FdmVersion)", given);
    }
    const char* problem = commonDialogProblem(S, variant);
    if (problem == nullptr && fdmVersionOf(S, variant) == 0) {
        problem = refusal(fdmVersionRule, dialogParameter(S, FDM_VERSION_PARAM), variant);
    }
    return problem;
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

    declareWorkAndStart(S, variant, numPWork);
    return true;
}

}  // namespace orvalink
