// The dialog both blocks share, as Simulink users write it: every
// sample-time form, the host name and port, and the one sentence that
// refuses a wrong value; and the work both declare alike. It runs when the
// model is updated, the dialog edited or the simulation started, never in a step.
#include <cmath>
#include <cstdio>

#include "definition.h"
#include "rules.h"

namespace orvalink {

namespace {

constexpr real_T continuousSampleTime = 0.0;
constexpr real_T inheritedSampleTime = -1.0;
constexpr real_T fixedInMinorStepOffset = 1.0;  // run in major steps only
constexpr std::size_t quotedTextLength = 32;    // a quoted host name is cut here
constexpr std::size_t numbersShown = 4;

// Room for the longest sentence: its fixed words, four numbers and a cut name.
char message[320];

// Appends to a fixed buffer; what does not fit is cut, always terminated.
struct Text {
    char* at;
    std::size_t left;

    void used(int written)
    {
        if (written > 0) {
            const std::size_t n = static_cast<std::size_t>(written) < left ? static_cast<std::size_t>(written) : left - 1;
            at += n;
            left -= n;
        }
    }
    void add(const char* words) { used(std::snprintf(at, left, "%s", words)); }
    void add(const char* before, const char* words, const char* after)
    {
        used(std::snprintf(at, left, "%s%s%s", before, words, after));
    }
    void count(std::size_t n) { used(std::snprintf(at, left, "%lu", static_cast<unsigned long>(n))); }
    void number(real_T value)
    {
        if (std::isnan(value)) {
            add("NaN");
        } else if (std::isinf(value)) {
            add(value > 0 ? "Inf" : "-Inf");
        } else {
            used(std::snprintf(at, left, "%.15g", value));
        }
    }
};

// The value as a MATLAB user would write it back: 70000, [0.1 0.2], 'text'.
void describe(Text& text, const mxArray* parameter, const Variant& variant)
{
    if (parameter == nullptr) {
        text.add("nothing");
        return;
    }
    if (variant.isText != nullptr && variant.isText(parameter)) {
        char name[quotedTextLength + 1];
        // A plain statement: in generated code mxGetString is a macro with no value.
        mxGetString(parameter, name, sizeof name);
        name[quotedTextLength] = '\0';
        const std::size_t length = mxGetM(parameter) * mxGetN(parameter);
        text.add("'", name, length > quotedTextLength ? "...'" : "'");
        return;
    }
    std::size_t count = 0;
    const real_T* values = realElements(parameter, variant, count);
    if (values == nullptr) {
        text.add(mxGetM(parameter) * mxGetN(parameter) == 0 ? "[]" : "a value that is not real double");
        return;
    }
    if (count == 1) {
        text.number(values[0]);
        return;
    }
    text.add("[");
    for (std::size_t i = 0; i < count && i < numbersShown; ++i) {
        if (i > 0) {
            text.add(" ");
        }
        text.number(values[i]);
    }
    if (count > numbersShown) {
        text.add(" ...] (");
        text.count(count);
        text.add(" numbers)");
    } else {
        text.add("]");
    }
}

bool validPort(const real_T* values, std::size_t count)
{
    return count == 1 && values[0] >= 1.0 && values[0] <= 65535.0 && values[0] == std::floor(values[0]);
}

}  // namespace

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

const char* refusal(const char* rule, const mxArray* parameter, const Variant& variant)
{
    Text text = {message, sizeof message};
    text.add(rule, ", not ", "");
    describe(text, parameter, variant);
    return message;
}

const char* parameterCountRefusal(const char* block, const char* what, int_T given)
{
    std::snprintf(message, sizeof message, "%s takes %s, not %d", block, what, static_cast<int>(given));
    return message;
}

void declareWorkAndStart(SimStruct* S, const Variant& variant, int_T pointerWork)
{
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, pointerWork);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetOptions(S, variant.options);
    if (startSocketLibrary() && variant.atUnload != nullptr) {
        variant.atUnload(stopSocketLibrary);
    }
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

bool portNumber(SimStruct* S, const Variant& variant, std::uint16_t& port)
{
    std::size_t count = 0;
    const real_T* value = realElements(dialogParameter(S, PORT_NUMBER_PARAM), variant, count);
    if (value == nullptr || !std::isfinite(*value) || std::fabs(*value) >= 9.2e18) {
        return false;
    }
    port = static_cast<std::uint16_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*value)));
    return true;
}

bool hostNameText(SimStruct* S, const Variant& variant, char (&name)[hostNameBufferSize])
{
    const mxArray* hostName = dialogParameter(S, HOST_NAME_PARAM);
    if (hostName == nullptr || (variant.isText != nullptr && !variant.isText(hostName))) {
        return false;
    }
    mxGetString(hostName, name, hostNameBufferSize);
    name[hostNameBufferSize - 1] = '\0';  // whatever the host did with a longer name
    return true;
}

bool simulinkSampleTime(const real_T* values, std::size_t count, real_T& period, real_T& offset)
{
    if (count == 1 && values[0] == continuousSampleTime) {
        period = continuousSampleTime;
        offset = fixedInMinorStepOffset;
        return true;
    }
    if (count == 1 && values[0] == inheritedSampleTime) {
        period = inheritedSampleTime;
        offset = fixedInMinorStepOffset;
        return true;
    }
    const real_T given = count == 2 ? values[1] : 0.0;
    if ((count != 1 && count != 2) || !(values[0] > 0.0) || std::isinf(values[0]) || !(given >= 0.0) ||
        !(given < values[0])) {
        return false;
    }
    period = values[0];
    offset = given;
    return true;
}

const char* sampleTimeRefusal(const mxArray* sampleTime, const Variant& variant)
{
    return refusal("SampleTime must be a period above 0, [period offset] with 0 <= offset < period, "
                   "0 (continuous) or -1 (inherited)",
                   sampleTime, variant);
}

const char* commonDialogProblem(SimStruct* S, const Variant& variant)
{
    const mxArray* sampleTime = dialogParameter(S, SAMPLE_TIME_PARAM);
    std::size_t count = 0;
    const real_T* values = realElements(sampleTime, variant, count);
    real_T period = 0.0;
    real_T offset = 0.0;
    if (values == nullptr || !simulinkSampleTime(values, count, period, offset)) {
        return sampleTimeRefusal(sampleTime, variant);
    }

    const mxArray* hostName = dialogParameter(S, HOST_NAME_PARAM);
    if (hostName == nullptr || (variant.isText != nullptr && !variant.isText(hostName))) {
        return refusal("HostName must be the text of a host name or IPv4 address", hostName, variant);
    }
    const std::size_t length = mxGetM(hostName) * mxGetN(hostName);
    if (length == 0) {
        return refusal("HostName must be a host name or IPv4 address", hostName, variant);
    }
    if (length > maxHostNameLength) {
        Text text = {message, sizeof message};
        text.add("HostName must be at most 255 characters long, not ");
        text.count(length);
        text.add(" (");
        describe(text, hostName, variant);
        text.add(")");
        return message;
    }

    const mxArray* port = dialogParameter(S, PORT_NUMBER_PARAM);
    values = realElements(port, variant, count);
    if (values == nullptr || !validPort(values, count)) {
        return refusal(portRule, port, variant);
    }
    return nullptr;
}

}  // namespace orvalink
