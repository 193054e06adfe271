// The emulated Simulink side.
#include "host_driver.h"

#include <cstdint>
#include <cstring>

namespace emulated_host {

namespace {
constexpr double versionWordMarker = 5200229.0;
}

std::optional<MexFile> loadMexFile(const std::string& nameOrPath, std::string& error)
{
    std::optional<LoadedLibrary> library = LoadedLibrary::open(nameOrPath, error);
    if (!library) {
        return std::nullopt;
    }
    auto entry = reinterpret_cast<MexFunctionPtr>(library->symbol("mexFunction"));
    if (entry == nullptr) {
        error = nameOrPath + " has no mexFunction";
        return std::nullopt;
    }
    return MexFile{std::move(*library), entry};
}

Array doubleArray(std::initializer_list<double> values, std::size_t rows)
{
    const std::size_t columns = rows == 0 ? 0 : values.size() / rows;
    Array array(mxCreateDoubleMatrix(rows, columns, mxREAL));
    std::size_t i = 0;
    for (double value : values) {
        if (i < rows * columns) {
            mxGetPr(array.get())[i++] = value;
        }
    }
    return array;
}

Array complexScalar(double real, double imaginary)
{
    Array array(mxCreateDoubleMatrix(1, 1, mxCOMPLEX));
    mxGetPr(array.get())[0] = real;
    mxGetPi(array.get())[0] = imaginary;
    return array;
}

Array numericScalar(mxClassID classId, double value)
{
    Array array(mxCreateNumericMatrix(1, 1, classId, mxREAL));
    void* data = mxGetPr(array.get());
    const auto store = [data](auto typed) { std::memcpy(data, &typed, sizeof typed); };
    switch (classId) {
    case mxDOUBLE_CLASS: store(value); break;
    case mxSINGLE_CLASS: store(static_cast<float>(value)); break;
    case mxINT8_CLASS: store(static_cast<std::int8_t>(value)); break;
    case mxUINT8_CLASS: store(static_cast<std::uint8_t>(value)); break;
    case mxINT16_CLASS: store(static_cast<std::int16_t>(value)); break;
    case mxUINT16_CLASS: store(static_cast<std::uint16_t>(value)); break;
    case mxINT32_CLASS: store(static_cast<std::int32_t>(value)); break;
    case mxUINT32_CLASS: store(static_cast<std::uint32_t>(value)); break;
    case mxINT64_CLASS: store(static_cast<std::int64_t>(value)); break;
    case mxUINT64_CLASS: store(static_cast<std::uint64_t>(value)); break;
    default: break;
    }
    return array;
}

Array charArray(const std::string& text) { return Array(mxCreateString(text.c_str())); }
Array emptyArray() { return Array(mxCreateDoubleMatrix(0, 0, mxREAL)); }

MexCallResult callMatlabSide(MexFunctionPtr entry, int nlhs, const std::vector<const mxArray*>& prhs)
{
    std::array<mxArray*, 2> plhs{};
    MexCallResult outcome;
    if (entry == nullptr) {
        outcome.failed = true;
        outcome.message = "no MEX function to call";
        return outcome;
    }
    std::vector<const mxArray*> arguments(prhs);
    outcome.failed = mexEmuCall(entry, nlhs, plhs.data(), static_cast<int>(arguments.size()), arguments.data()) != 0;
    if (outcome.failed) {
        outcome.message = mexEmuLastErrorMessage();
    }
    Array result(plhs[0]);
    if (result != nullptr) {
        const double* entries = mxGetPr(result.get());
        outcome.result.assign(entries, entries + mxGetNumberOfElements(result.get()));
    }
    return outcome;
}

HostBlock::HostBlock(MexFunctionPtr entry, std::string modelName) : entry_(entry), modelName_(std::move(modelName))
{
    S_.modelName = modelName_.c_str();
    S_.path = modelName_.c_str();
    S_.root = &S_;
    S_.modelInfo = &modelInfo_;
    S_.extendedMethods = &extended_;
    S_.inputPortCount = PortCountRegistration{setNumInputPorts, this};
    S_.outputPortCount = PortCountRegistration{setNumOutputPorts, this};
    S_.sampleTimes = sampleTimes_.data();
    S_.offsetTimes = offsetTimes_.data();
}

void HostBlock::setDialogParameters(std::vector<Array> parameters)
{
    parameters_ = std::move(parameters);
    parameterPointers_.clear();
    for (const Array& parameter : parameters_) {
        parameterPointers_.push_back(parameter.get());
    }
    S_.numSFcnParamsGiven = static_cast<int32_t>(parameterPointers_.size());
    S_.sfcnParams = parameterPointers_.empty() ? nullptr : parameterPointers_.data();
}

int HostBlock::setNumInputPorts(void* context, int n)
{
    auto* host = static_cast<HostBlock*>(context);
    if (n < 0) {
        return 0;
    }
    host->inputPorts_.assign(static_cast<std::size_t>(n), InputPortRecord{});
    host->S_.inputPorts = host->inputPorts_.data();
    host->S_.sizes[SIZES_NUM_INPUT_PORTS] = n;
    return 1;
}

int HostBlock::setNumOutputPorts(void* context, int n)
{
    auto* host = static_cast<HostBlock*>(context);
    if (n < 0) {
        return 0;
    }
    host->outputPorts_.assign(static_cast<std::size_t>(n), OutputPortRecord{});
    host->S_.outputPorts = host->outputPorts_.data();
    host->S_.sizes[SIZES_NUM_OUTPUT_PORTS] = n;
    return 1;
}

MexCallResult HostBlock::registerBlock()
{
    // The structure's address travels in a double, beside the version word.
    const auto address = static_cast<double>(reinterpret_cast<std::uintptr_t>(&S_));
    Array handOver = doubleArray({address, versionWordMarker}, 2);
    Array empty = emptyArray();
    Array flag = doubleArray({0.0});
    MexCallResult outcome = callMatlabSide(entry_, 1, {empty.get(), handOver.get(), empty.get(), flag.get()});
    if (outcome.failed) {
        return outcome;
    }
    pwork_.assign(static_cast<std::size_t>(S_.sizes[SIZES_NUM_PWORK] > 0 ? S_.sizes[SIZES_NUM_PWORK] : 0), nullptr);
    S_.pwork = pwork_.empty() ? nullptr : pwork_.data();
    signals_.clear();
    for (InputPortRecord& port : inputPorts_) {
        signals_.emplace_back(static_cast<std::size_t>(port.width > 0 ? port.width : 0), 0.0);
        port.signal = signals_.back().data();
    }
    return outcome;
}

std::string HostBlock::errorStatusAfterCall()
{
    const char* status = ssGetErrorStatus(&S_);
    std::string message = status != nullptr ? status : "";
    S_.errorStatus = nullptr;
    return message;
}

std::string HostBlock::initializeSampleTimes()
{
    S_.errorStatus = nullptr;
    if (S_.methods.mdlInitializeSampleTimes != nullptr) {
        S_.methods.mdlInitializeSampleTimes(&S_);
    }
    return errorStatusAfterCall();
}

std::string HostBlock::start()
{
    S_.errorStatus = nullptr;
    if (S_.methods.mdlStart != nullptr) {
        S_.methods.mdlStart(&S_);
    }
    return errorStatusAfterCall();
}

std::string HostBlock::outputs(int tid)
{
    S_.errorStatus = nullptr;
    if (S_.methods.mdlOutputs != nullptr) {
        S_.methods.mdlOutputs(&S_, tid);
    }
    return errorStatusAfterCall();
}

std::string HostBlock::terminate()
{
    S_.errorStatus = nullptr;
    if (S_.methods.mdlTerminate != nullptr) {
        S_.methods.mdlTerminate(&S_);
    }
    return errorStatusAfterCall();
}

std::string HostBlock::flagCall(double flag)
{
    S_.errorStatus = nullptr;
    if (entry_ == nullptr) {
        return "no MEX function to call";
    }
    Array flagArray = doubleArray({flag});
    std::array<mxArray*, 2> plhs{nullptr, reinterpret_cast<mxArray*>(&S_)};
    std::array<const mxArray*, 4> prhs{nullptr, nullptr, nullptr, flagArray.get()};
    mexEmuCall(entry_, -1, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    return errorStatusAfterCall();
}

std::span<double> HostBlock::input(int port)
{
    return std::span<double>(signals_.at(static_cast<std::size_t>(port)));
}

}  // namespace emulated_host
