// The Simulink side of the emulated host: loads a MEX file by name, hands
// a host SimStruct over through the MATLAB-side call, then runs the block's
// methods through their slots or through flag calls, reading the error
// status after each.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "emulated_host.h"
#include "simstruc.h"

namespace emulated_host {

// A shared library kept loaded for the object's lifetime.
class LoadedLibrary {
public:
    // Loads by name (the platform's search) or by path; nullopt with `error` set on failure.
    static std::optional<LoadedLibrary> open(const std::string& nameOrPath, std::string& error);
    void* symbol(const char* name) const;

    LoadedLibrary(LoadedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    LoadedLibrary& operator=(LoadedLibrary&& other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    ~LoadedLibrary();

private:
    explicit LoadedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The MEX file name of a block on this platform ("orvalink.mexa64" on 64-bit Linux).
std::string mexFileName(const std::string& blockName);

// Loads the MEX file and finds its mexFunction.
struct MexFile {
    LoadedLibrary library;
    MexFunctionPtr entry;
};
std::optional<MexFile> loadMexFile(const std::string& nameOrPath, std::string& error);

// An owned host array.
struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;
Array doubleArray(std::initializer_list<double> values, std::size_t rows = 1);
Array complexScalar(double real, double imaginary);
// A 1-by-1 array of a numeric class holding `value` converted to that class.
Array numericScalar(mxClassID classId, double value);
Array charArray(const std::string& text);
Array emptyArray();

struct MexCallResult {
    bool failed = false;          // ended in mexErrMsgTxt
    std::string message;          // its message
    std::vector<double> result;   // plhs[0], when one was returned
};

// An ordinary MATLAB-side call of a MEX function.
MexCallResult callMatlabSide(MexFunctionPtr entry, int nlhs, const std::vector<const mxArray*>& prhs);

class HostBlock {
public:
    explicit HostBlock(MexFunctionPtr entry, std::string modelName = "orvalink");
    HostBlock(const HostBlock&) = delete;
    HostBlock& operator=(const HostBlock&) = delete;

    void setDialogParameters(std::vector<Array> parameters);

    // The MATLAB-side call with the structure handed over; on success the
    // host sizes its work vector, sample times and input signals.
    MexCallResult registerBlock();

    // Through the slots the block filled; each returns the error status (empty when none).
    std::string initializeSampleTimes();
    std::string start();
    std::string outputs(int tid = 0);
    std::string terminate();

    // mexFunction with a negative left-hand count and this flag.
    std::string flagCall(double flag);

    std::span<double> input(int port);
    SimStruct& simStruct() { return S_; }
    ModelInfo& modelInfo() { return modelInfo_; }
    ExtendedMethodTable& extendedMethods() { return extended_; }
    void** pwork() { return pwork_.data(); }
    double sampleTime() const { return sampleTimes_[0]; }
    double offsetTime() const { return offsetTimes_[0]; }

private:
    static int setNumInputPorts(void* context, int n);
    static int setNumOutputPorts(void* context, int n);
    std::string errorStatusAfterCall();

    MexFunctionPtr entry_;
    std::string modelName_;
    SimStruct S_{};
    ModelInfo modelInfo_{};
    ExtendedMethodTable extended_{};
    std::vector<Array> parameters_;
    std::vector<const mxArray*> parameterPointers_;
    std::vector<InputPortRecord> inputPorts_;
    std::vector<OutputPortRecord> outputPorts_;
    std::vector<std::vector<double>> signals_;
    std::vector<void*> pwork_;
    std::array<double, 1> sampleTimes_{};
    std::array<double, 1> offsetTimes_{};
};

}  // namespace emulated_host
