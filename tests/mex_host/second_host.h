// Runs the block's one-file source, compiled against the second host, as
// Simulink runs a MEX S-function: this interface hides that host's layout,
// so a test can drive it next to the emulated host.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct th_Array;
struct th_SimStruct;

namespace second_host {

// Which tail of the source the block was built with. Generated code passes
// every parameter as real doubles, text as its character codes.
// olderRelease: a MEX file built as MATLAB releases before R2018a see it
// (operating points named SimState, no thread-safety declaration).
// controlsMexFile, controlsGeneratedCode: the controls block, each way.
enum class Entry { mexFile, generatedCode, olderRelease, controlsMexFile, controlsGeneratedCode };

enum class Class { doubles, single, int8, int32, uint16, logical, text };

// A dialog parameter of the second host, holding exactly its class's bytes.
class Parameter {
public:
    static Parameter numbers(Class arrayClass, const std::vector<double>& values, bool complex = false);
    static Parameter doubles(const std::vector<double>& values) { return numbers(Class::doubles, values); }
    static Parameter text(const std::string& value);
    th_Array* get() const { return array_.get(); }

private:
    struct Free {
        void operator()(th_Array* array) const;
    };
    std::unique_ptr<th_Array, Free> array_;
};

// The three dialog parameters both blocks take: SampleTime, HostName, PortNumber.
std::vector<Parameter> dialog(const std::string& host, double port, const std::vector<double>& sampleTime = {0.05});

// The option bits of the second host's simstruc.h, for the tests to read.
namespace option {
constexpr unsigned exceptionFreeCode = 0x0001u;
constexpr unsigned disallowConstantSampleTime = 0x0100u;
constexpr unsigned callTerminateOnExit = 0x4000u;
}  // namespace option

// What the block declared as Simulink reads it back; 0 where it declared nothing.
constexpr int emptyOperatingPoint = 2;
constexpr int runtimeThreadSafe = 1;

struct Registration {
    std::string name;
    int level = 0;
    bool startRegistered = false;
    int numSFcnParams = 0, numContStates = 0, numDiscStates = 0, numInputPorts = 0, numOutputPorts = 0;
    int numSampleTimes = 0, numRWork = 0, numIWork = 0, numPWork = 0, numModes = 0, numNonsampledZCs = 0;
    unsigned options = 0;
    bool checkParametersRegistered = false;
    int operatingPoint = 0, runtimeThreadSafety = 0;
    std::vector<int> tunable;  // per parameter given
    bool tunableOutOfRange = false;  // a parameter named that the dialog does not have
    std::vector<int> widths, directFeedThrough, requiredContiguous;
    std::vector<int> outputWidths;
    std::string errorStatus;
};

class Block {
public:
    Block(Entry entry, std::vector<Parameter> parameters);
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // Each returns the error status the method left ("" for none).
    Registration registerBlock();
    std::string initializeSampleTimes();
    std::string start();
    std::string outputs();
    void outputsOnly();  // mdlOutputs as a host's step calls it, the status left unread
    std::string terminate();
    std::string checkParameters();    // mdlCheckParameters, as after an edit of the dialog
    void setMinorStep(bool minor);    // the solver's sub-steps until set back
    void refusePortCounts(bool inputs, bool outputs);  // as a host refuses a count it cannot take

    double sampleTime() const;
    double offsetTime() const;
    std::vector<double>& input(int port) { return inputs_.at(static_cast<std::size_t>(port)); }
    const std::vector<double>& output(int port) const { return outputs_.at(static_cast<std::size_t>(port)); }
    void* workSlot(int slot) const;

private:
    std::string status();
    std::unique_ptr<th_SimStruct> S_;
    std::vector<Parameter> parameters_;
    std::vector<const th_Array*> parameterArrays_;
    std::vector<std::vector<double>> inputs_;
    std::vector<std::vector<double>> outputs_;
    std::vector<void*> pwork_;
    double sampleTimes_[1] = {-99.0};
    double offsetTimes_[1] = {-99.0};
    bool started_ = false;     // mdlStart called and no mdlTerminate since
    bool terminateDue_ = false;  // the host owes mdlTerminate (the option to call it on exit)
};

// The function the block gave mexAtExit last (null for none), and forgetting it.
using ExitFunction = void (*)();
ExitFunction exitFunction();
void clearExitFunction();

}  // namespace second_host
