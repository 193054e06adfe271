// The second host's arrays and structure, and the calls Simulink makes.
#include "second_host.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

// The host declares every name it provides, those only a MEX file may use too.
#define MATLAB_MEX_FILE
#include "simstruc.h"

extern "C" void th_mexFileEntry(SimStruct* S);
extern "C" void th_generatedCodeEntry(SimStruct* S);
extern "C" void th_olderReleaseEntry(SimStruct* S);
extern "C" void th_controlsMexFileEntry(SimStruct* S);
extern "C" void th_controlsGeneratedCodeEntry(SimStruct* S);

struct th_Array {
    second_host::Class arrayClass;
    std::size_t rows, columns;
    bool complex;
    void* real;  // exactly rows * columns elements of the class, or null when empty
    bool characterCodes;  // doubles standing for text, as generated code stores it
};

static_assert(second_host::option::exceptionFreeCode == SS_OPTION_EXCEPTION_FREE_CODE &&
              second_host::option::disallowConstantSampleTime == SS_OPTION_DISALLOW_CONSTANT_SAMPLE_TIME &&
              second_host::option::callTerminateOnExit == SS_OPTION_CALL_TERMINATE_ON_EXIT,
              "the tests read the header's option bits");

namespace second_host {
namespace {

std::size_t elementSize(Class arrayClass)
{
    switch (arrayClass) {
    case Class::doubles: return 8;
    case Class::single: return 4;
    case Class::int32: return 4;
    case Class::uint16: return 2;
    case Class::text: return 2;
    case Class::int8:
    case Class::logical: return 1;
    }
    return 1;
}

template <typename T>
void fill(void* data, const std::vector<double>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const T element = static_cast<T>(values[i]);
        std::memcpy(static_cast<char*>(data) + i * sizeof(T), &element, sizeof(T));
    }
}

th_Array* newArray(Class arrayClass, std::size_t count, bool complex)
{
    auto* array = new th_Array{arrayClass, 1, count, complex, nullptr, false};
    if (count > 0) {
        array->real = std::malloc(count * elementSize(arrayClass));
    }
    return array;
}

}  // namespace

void Parameter::Free::operator()(th_Array* array) const
{
    std::free(array->real);
    delete array;
}

Parameter Parameter::numbers(Class arrayClass, const std::vector<double>& values, bool complex)
{
    Parameter p;
    p.array_.reset(newArray(arrayClass, values.size(), complex));
    void* data = p.array_->real;
    switch (arrayClass) {
    case Class::doubles: fill<double>(data, values); break;
    case Class::single: fill<float>(data, values); break;
    case Class::int8: fill<std::int8_t>(data, values); break;
    case Class::int32: fill<std::int32_t>(data, values); break;
    case Class::uint16: fill<std::uint16_t>(data, values); break;
    case Class::logical: fill<std::uint8_t>(data, values); break;
    case Class::text: throw std::invalid_argument("text takes Parameter::text");
    }
    return p;
}

Parameter Parameter::text(const std::string& value)
{
    Parameter p;
    p.array_.reset(newArray(Class::text, value.size(), false));
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto unit = static_cast<std::uint16_t>(static_cast<unsigned char>(value[i]));
        std::memcpy(static_cast<char*>(p.array_->real) + 2 * i, &unit, 2);
    }
    return p;
}

std::vector<Parameter> dialog(const std::string& host, double port, const std::vector<double>& sampleTime)
{
    std::vector<Parameter> list;
    list.push_back(Parameter::doubles(sampleTime));
    list.push_back(Parameter::text(host));
    list.push_back(Parameter::doubles({port}));
    return list;
}

namespace {
ExitFunction registeredExit = nullptr;
}  // namespace

ExitFunction exitFunction() { return registeredExit; }
void clearExitFunction() { registeredExit = nullptr; }

Block::Block(Entry entry, std::vector<Parameter> parameters)
    : S_(std::make_unique<th_SimStruct>()), parameters_(std::move(parameters))
{
    const bool generated = entry == Entry::generatedCode || entry == Entry::controlsGeneratedCode;
    const bool controls = entry == Entry::controlsMexFile || entry == Entry::controlsGeneratedCode;
    if (generated) {
        for (Parameter& p : parameters_) {
            th_Array* array = p.get();
            if (array->arrayClass == Class::text) {
                std::vector<double> codes(array->columns);
                for (std::size_t i = 0; i < codes.size(); ++i) {
                    std::uint16_t unit = 0;
                    std::memcpy(&unit, static_cast<const char*>(array->real) + 2 * i, 2);
                    codes[i] = unit;
                }
                p = Parameter::doubles(codes);
                p.get()->characterCodes = true;
            }
        }
    }
    std::memset(S_.get(), 0, sizeof(th_SimStruct));
    S_->blkInfo.modelName = controls ? "orvalink_controls" : "orvalink";
    S_->blkInfo.path = controls ? "flight/orvalink_controls" : "flight/orvalink";
    S_->blkInfo.rootSS = S_.get();
    S_->portInfo.numInputPorts = -1;
    S_->portInfo.numOutputPorts = -1;
    for (const Parameter& p : parameters_) {
        parameterArrays_.push_back(p.get());
    }
    S_->sfcnParams.dlgNum = static_cast<int_T>(parameterArrays_.size());
    S_->sfcnParams.dlgParams = parameterArrays_.data();
    S_->stInfo.sampleTimes = sampleTimes_;
    S_->stInfo.offsetTimes = offsetTimes_;
    S_->mdlInfo.majorTimeStep = 1;
    for (int_T& tunable : S_->declared.tunable) {
        tunable = 1;  // Simulink's default
    }
    switch (entry) {
    case Entry::mexFile: th_mexFileEntry(S_.get()); break;
    case Entry::generatedCode: th_generatedCodeEntry(S_.get()); break;
    case Entry::olderRelease: th_olderReleaseEntry(S_.get()); break;
    case Entry::controlsMexFile: th_controlsMexFileEntry(S_.get()); break;
    case Entry::controlsGeneratedCode: th_controlsGeneratedCodeEntry(S_.get()); break;
    }
}

Block::~Block()
{
    // As a host ends every simulation that started, failed or not, and with
    // the option, every one whose sizes were taken.
    if (started_ || terminateDue_) {
        S_->sfcn.terminate(S_.get());
    }
    if (S_->portInfo.inputs != nullptr) {
        for (int port = 0; port < S_->portInfo.numInputPorts; ++port) {
            delete S_->portInfo.inputs[port];
        }
        delete[] S_->portInfo.inputs;
    }
    delete[] S_->portInfo.outputs;
}

std::string Block::status()
{
    const char* message = S_->mdlInfo.errorStatus;
    S_->mdlInfo.errorStatus = nullptr;
    return message != nullptr ? message : "";
}

Registration Block::registerBlock()
{
    S_->sfcn.initializeSizes(S_.get());
    Registration r;
    r.name = S_->sfcn.name != nullptr ? S_->sfcn.name : "";
    r.level = S_->sfcn.level;
    r.startRegistered = S_->sfcn.start != nullptr;
    r.numSFcnParams = S_->sizes.numSFcnParams;
    r.numContStates = S_->sizes.numContStates;
    r.numDiscStates = S_->sizes.numDiscStates;
    r.numInputPorts = S_->portInfo.numInputPorts;
    r.numOutputPorts = S_->portInfo.numOutputPorts;
    r.numSampleTimes = S_->sizes.numSampleTimes;
    r.numRWork = S_->sizes.numRWork;
    r.numIWork = S_->sizes.numIWork;
    r.numPWork = S_->sizes.numPWork;
    r.numModes = S_->sizes.numModes;
    r.numNonsampledZCs = S_->sizes.numNonsampledZCs;
    r.options = S_->sizes.options;
    r.checkParametersRegistered = S_->sfcn.checkParameters != nullptr;
    r.operatingPoint = S_->declared.operatingPoint;
    r.tunableOutOfRange = S_->declared.tunableOutOfRange != 0;
    r.runtimeThreadSafety = S_->declared.runtimeThreadSafety;
    for (int_T i = 0; i < S_->sfcnParams.dlgNum && i < 8; ++i) {
        r.tunable.push_back(S_->declared.tunable[i]);
    }
    terminateDue_ = (r.options & option::callTerminateOnExit) != 0;
    for (int port = 0; port < S_->portInfo.numInputPorts; ++port) {
        const th_InputPort& record = *S_->portInfo.inputs[port];
        r.widths.push_back(record.width);
        r.directFeedThrough.push_back(record.directFeedThrough);
        r.requiredContiguous.push_back(record.requiredContiguous);
    }
    r.errorStatus = status();
    // The host lays out the signals and the work vector once the sizes are known.
    inputs_.clear();
    for (int width : r.widths) {
        inputs_.emplace_back(static_cast<std::size_t>(width > 0 ? width : 0), 0.0);
    }
    for (std::size_t port = 0; port < inputs_.size(); ++port) {
        S_->portInfo.inputs[port]->contiguousSignal = inputs_[port].data();
    }
    outputs_.clear();
    for (int port = 0; port < r.numOutputPorts; ++port) {
        const int width = S_->portInfo.outputs[port].width;
        r.outputWidths.push_back(width);
        // Whatever the memory held before the first step: a block must write it.
        outputs_.emplace_back(static_cast<std::size_t>(width > 0 ? width : 0), -99.0);
        S_->portInfo.outputs[port].signal = outputs_.back().data();
    }
    pwork_.assign(static_cast<std::size_t>(r.numPWork > 0 ? r.numPWork : 0), nullptr);
    S_->work.pWork = pwork_.empty() ? nullptr : pwork_.data();
    return r;
}

std::string Block::initializeSampleTimes()
{
    S_->sfcn.initializeSampleTimes(S_.get());
    return status();
}

std::string Block::start()
{
    if (S_->sfcn.start != nullptr) {
        started_ = true;
        S_->sfcn.start(S_.get());
    }
    return status();
}

std::string Block::outputs()
{
    S_->sfcn.outputs(S_.get(), 0);
    return status();
}

void Block::outputsOnly() { S_->sfcn.outputs(S_.get(), 0); }


std::string Block::checkParameters()
{
    if (S_->sfcn.checkParameters == nullptr) {
        throw std::logic_error("the block registered no mdlCheckParameters");
    }
    S_->sfcn.checkParameters(S_.get());
    return status();
}

void Block::setMinorStep(bool minor) { S_->mdlInfo.majorTimeStep = minor ? 0 : 1; }

void Block::refusePortCounts(bool inputs, bool outputs) { S_->portInfo.refuse = (inputs ? 1 : 0) | (outputs ? 2 : 0); }

std::string Block::terminate()
{
    started_ = false;
    terminateDue_ = false;
    S_->sfcn.terminate(S_.get());
    return status();
}

double Block::sampleTime() const { return sampleTimes_[0]; }
double Block::offsetTime() const { return offsetTimes_[0]; }
void* Block::workSlot(int slot) const { return pwork_.at(static_cast<std::size_t>(slot)); }

}  // namespace second_host

// ---- The host's functions behind the macros ---------------------------------

using second_host::Class;

extern "C" {

boolean_T th_ssSetNumInputPorts(SimStruct* S, int_T count)
{
    if (count < 0 || S->portInfo.inputs != nullptr || (S->portInfo.refuse & 1) != 0) {
        return 0;
    }
    S->portInfo.numInputPorts = count;
    S->portInfo.inputs = new th_InputPort*[static_cast<std::size_t>(count)];
    for (int_T port = 0; port < count; ++port) {
        S->portInfo.inputs[port] = new th_InputPort{-1, 0, 0, nullptr};
    }
    return 1;
}

void th_ssSetSFcnParamTunable(SimStruct* S, int_T index, int_T on)
{
    if (index < 0 || index >= S->sfcnParams.dlgNum || index >= 8) {
        S->declared.tunableOutOfRange = 1;
        return;
    }
    S->declared.tunable[index] = on != 0 ? 1 : 0;
}

boolean_T th_ssSetNumOutputPorts(SimStruct* S, int_T count)
{
    if (count < 0 || (S->portInfo.refuse & 2) != 0) {
        return 0;
    }
    if (S->portInfo.outputs != nullptr) {
        return 0;
    }
    S->portInfo.numOutputPorts = count;
    S->portInfo.outputs = new th_OutputPort[static_cast<std::size_t>(count > 0 ? count : 1)]();
    return 1;
}

real_T* th_mxGetPr(const mxArray* array)
{
    // Any numeric class's data, typed as doubles, as the separate-complex interface gives it.
    return array != nullptr && array->arrayClass != Class::text ? static_cast<real_T*>(array->real) : nullptr;
}

int th_mxGetString(const mxArray* array, char_T* buffer, size_t length)
{
    if (length == 0) {
        return 1;
    }
    if (array == nullptr || (array->arrayClass != Class::text && !array->characterCodes)) {
        buffer[0] = '\0';
        return 1;
    }
    const std::size_t count = array->rows * array->columns;
    const std::size_t copied = count < length - 1 ? count : length - 1;
    for (std::size_t i = 0; i < copied; ++i) {
        if (array->characterCodes) {
            buffer[i] = static_cast<char_T>(static_cast<const double*>(array->real)[i]);
            continue;
        }
        std::uint16_t unit = 0;
        std::memcpy(&unit, static_cast<const char*>(array->real) + 2 * i, 2);
        buffer[i] = static_cast<char_T>(unit);
    }
    buffer[copied] = '\0';
    return copied == count ? 0 : 1;
}

boolean_T th_mxIsDouble(const mxArray* array) { return array->arrayClass == Class::doubles; }
boolean_T th_mxIsChar(const mxArray* array) { return array->arrayClass == Class::text; }
boolean_T th_mxIsNumeric(const mxArray* array)
{
    return array->arrayClass != Class::text && array->arrayClass != Class::logical;
}
boolean_T th_mxIsComplex(const mxArray* array) { return array->complex; }
size_t th_mxGetNumberOfElements(const mxArray* array) { return array->rows * array->columns; }
size_t th_mxGetM(const mxArray* array) { return array->rows; }
size_t th_mxGetN(const mxArray* array) { return array->columns; }
boolean_T th_mxIsEmpty(const mxArray* array) { return array->rows * array->columns == 0; }
real_T th_mxGetScalar(const mxArray* array)
{
    return array->arrayClass == Class::doubles && array->real != nullptr ? *static_cast<const double*>(array->real) : 0.0;
}
int th_mexAtExit(void (*exitFunction)(void))
{
    second_host::registeredExit = exitFunction;
    return 0;
}

}  // extern "C"
