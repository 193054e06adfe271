// The block as a host meets it: loaded by name, registered through the
// MATLAB-side call, then driven through its slots and through flag calls.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host_driver.h"

using namespace emulated_host;

namespace {

constexpr double versionWord = 5200229.0;
const std::string display = "MEX level2 S-function \"orvalink\"";

class Registration : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        mexFile = loadMexFile(mexFileName("orvalink"), error);
        loadError = error;
    }
    // A failure here fails each test; in the suite's set-up it would only skip them.
    void SetUp() override { ASSERT_TRUE(mexFile.has_value()) << loadError; }
    static void TearDownTestSuite() { mexFile.reset(); }

    static MexFunctionPtr entry() { return mexFile->entry; }

    // A MATLAB-side call with `flag` as the fourth argument and `extra` after it.
    static MexCallResult matlabCall(int nlhs, const mxArray* flag, std::vector<const mxArray*> extra = {},
                                    const mxArray* second = nullptr)
    {
        static Array empty = emptyArray();
        std::vector<const mxArray*> prhs{empty.get(), second != nullptr ? second : empty.get(), empty.get(), flag};
        prhs.insert(prhs.end(), extra.begin(), extra.end());
        return callMatlabSide(entry(), nlhs, prhs);
    }

    static std::vector<Array> threeParameters()
    {
        std::vector<Array> parameters;
        parameters.push_back(doubleArray({0.05}));
        parameters.push_back(charArray("127.0.0.1"));
        parameters.push_back(doubleArray({5500.0}));
        return parameters;
    }

    static inline std::optional<MexFile> mexFile;
    static inline std::string loadError;
};

std::vector<double> expectedVector(std::initializer_list<std::pair<int, double>> entries)
{
    std::vector<double> vector(38, 0.0);
    for (const auto& [index, value] : entries) {
        vector[static_cast<std::size_t>(index)] = value;
    }
    return vector;
}

// ---- MATLAB-side checks -----------------------------------------------------

TEST_F(Registration, too_few_right_hand_arguments_is_reported_before_too_many_left_hand)
{
    Array flag = doubleArray({0.0});
    Array empty = emptyArray();
    MexCallResult outcome = callMatlabSide(entry(), 2, {empty.get(), empty.get(), flag.get()});
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.message, display + " must be called with at least 4 right hand arguments");
    EXPECT_TRUE(outcome.result.empty());
}

TEST_F(Registration, two_left_hand_arguments_are_refused)
{
    Array flag = doubleArray({0.0});
    MexCallResult outcome = matlabCall(2, flag.get());
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.message, display + " called with too many left hand arguments");
}

TEST_F(Registration, flags_that_are_not_one_real_integer_are_refused)
{
    std::vector<Array> flags;
    flags.push_back(doubleArray({0.5}));
    flags.push_back(doubleArray({0.0, 0.0}));
    flags.push_back(complexScalar(0.0, 0.0));
    flags.push_back(charArray("0"));
    flags.push_back(doubleArray({4294967296.0}));
    flags.push_back(doubleArray({2147483648.0}));
    flags.push_back(doubleArray({std::numeric_limits<double>::infinity()}));
    flags.push_back(doubleArray({std::numeric_limits<double>::quiet_NaN()}));
    flags.push_back(emptyArray());
    flags.push_back(Array(mxCreateLogicalScalar(false)));
    flags.push_back(numericScalar(mxINT8_CLASS, 0.0));  // numeric, but not 8 bytes to read
    flags.push_back(numericScalar(mxSINGLE_CLASS, 0.0));
    for (const Array& flag : flags) {
        MexCallResult outcome = matlabCall(1, flag.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.message, "The 4th right hand argument, FLAG, passed to " + display + " must be an integer");
        EXPECT_TRUE(outcome.result.empty());
    }
}

TEST_F(Registration, integer_flags_other_than_zero_are_invalid)
{
    for (double value : {1.0, -1.0, -2147483648.0}) {
        Array flag = doubleArray({value});
        MexCallResult outcome = matlabCall(0, flag.get());
        EXPECT_TRUE(outcome.failed) << value;
        EXPECT_EQ(outcome.message, "Invalid flag passed to " + display);
    }
}

TEST_F(Registration, negative_zero_is_flag_zero)
{
    Array flag = doubleArray({-0.0});
    MexCallResult outcome = matlabCall(0, flag.get());
    EXPECT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(outcome.result.size(), 38u);
}

// ---- Local structure --------------------------------------------------------

TEST_F(Registration, sizes_query_without_parameters_stops_after_the_parameter_count)
{
    Array flag = doubleArray({0.0});
    MexCallResult outcome = matlabCall(1, flag.get());
    ASSERT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(outcome.result, expectedVector({{7, 3}, {19, versionWord}, {23, 8192}}));

    Array one = doubleArray({1.0});
    outcome = matlabCall(0, flag.get(), {one.get()});
    EXPECT_EQ(outcome.result, expectedVector({{7, 3}, {19, versionWord}, {23, 8192}}));
}

TEST_F(Registration, sizes_query_with_three_parameters_declares_the_block)
{
    Array flag = doubleArray({0.0});
    std::vector<Array> parameters = threeParameters();
    MexCallResult outcome = matlabCall(1, flag.get(), {parameters[0].get(), parameters[1].get(), parameters[2].get()});
    ASSERT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(outcome.result,
              expectedVector({{3, 9}, {6, 1}, {7, 3}, {10, 2}, {19, versionWord}, {23, 8192}, {31, 2}}));
}

TEST_F(Registration, hand_over_marker_other_than_the_version_word_takes_the_local_path)
{
    HostBlock host(entry());
    host.setDialogParameters(threeParameters());
    const auto address = static_cast<double>(reinterpret_cast<std::uintptr_t>(&host.simStruct()));
    for (double marker : {5200229.5, 5200228.0, -5200229.0}) {
        Array handOver = doubleArray({address, marker}, 2);
        Array flag = doubleArray({0.0});
        MexCallResult outcome = matlabCall(1, flag.get(), {}, handOver.get());
        ASSERT_FALSE(outcome.failed) << outcome.message;
        EXPECT_EQ(outcome.result, expectedVector({{7, 3}, {19, versionWord}, {23, 8192}})) << marker;
        EXPECT_EQ(host.simStruct().methods.mdlStart, nullptr);
        EXPECT_EQ(host.simStruct().sizes[19], 0);
    }
}

TEST_F(Registration, host_memory_running_out_is_an_error_or_an_early_stop_never_a_crash)
{
    Array flag = doubleArray({0.0});
    std::vector<Array> parameters = threeParameters();
    const std::vector<const mxArray*> three{parameters[0].get(), parameters[1].get(), parameters[2].get()};
    const std::vector<double> early = expectedVector({{7, 3}, {19, versionWord}, {23, 8192}});
    const std::vector<double> whole =
        expectedVector({{3, 9}, {6, 1}, {7, 3}, {10, 2}, {19, versionWord}, {23, 8192}, {31, 2}});
    // The allocations in order: structure, model record, parameter array, input-port records.
    // No fifth: a count of 0 output ports needs no records.
    const struct {
        long successful;
        long injected;
        const char* message;  // null: no error
        const std::vector<double>* result;
    } cases[] = {
        {0, 1, " could not allocate its local SimStruct", nullptr},
        {1, 1, " could not allocate its local SimStruct", nullptr},
        {2, 1, " could not allocate its local SimStruct", nullptr},
        {3, 1, nullptr, &early},
        {4, 0, nullptr, &whole},
    };
    for (const auto& c : cases) {
        mxEmuFailCallocAfter(c.successful);
        MexCallResult outcome = matlabCall(1, flag.get(), three);
        EXPECT_EQ(mxEmuCallocFailuresInjected(), c.injected) << c.successful;
        mxEmuFailCallocAfter(-1);
        EXPECT_EQ(outcome.failed, c.message != nullptr) << c.successful;
        if (c.message != nullptr) {
            EXPECT_EQ(outcome.message, display + c.message);
        } else {
            EXPECT_EQ(outcome.result, *c.result) << c.successful;
        }
    }

    // Fewer parameters, fewer allocations: none for an empty parameter array.
    const std::vector<const mxArray*> one{parameters[0].get()};
    for (const auto& [given, allocations] : {std::pair{std::vector<const mxArray*>{}, 2L}, std::pair{one, 3L}}) {
        mxEmuFailCallocAfter(allocations - 1);
        EXPECT_TRUE(matlabCall(1, flag.get(), given).failed) << given.size();
        mxEmuFailCallocAfter(allocations);
        MexCallResult counted = matlabCall(1, flag.get(), given);
        EXPECT_EQ(mxEmuCallocFailuresInjected(), 0) << given.size();
        mxEmuFailCallocAfter(-1);
        EXPECT_EQ(counted.result, early) << given.size();
    }

    mxEmuFailNextArrayCreation();  // the sizes vector
    MexCallResult outcome = matlabCall(1, flag.get(), three);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.message, display + " could not allocate its sizes vector");
}

TEST_F(Registration, hand_over_outside_the_exact_pointer_range_takes_the_local_path)
{
    constexpr double limit = 9007199254740992.0;  // 2^53
    for (double address : {limit, -limit, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(), 0.0}) {
        Array handOver = doubleArray({address, versionWord}, 2);
        Array flag = doubleArray({0.0});
        MexCallResult outcome = matlabCall(1, flag.get(), {}, handOver.get());
        ASSERT_FALSE(outcome.failed) << outcome.message;
        EXPECT_EQ(outcome.result, expectedVector({{7, 3}, {19, versionWord}, {23, 8192}})) << address;
    }
}

// ---- Host structure ---------------------------------------------------------

TEST_F(Registration, name_that_differs_in_case_is_a_mismatch_and_fills_nothing)
{
    HostBlock host(entry(), "OrvaLink");
    host.setDialogParameters(threeParameters());
    MexCallResult outcome = host.registerBlock();
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.message,
              "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME orvalink\", whereas name of "
              "the S-function MEX file is \"OrvaLink\". The source needs to be updated");
    EXPECT_TRUE(outcome.result.empty());
    EXPECT_EQ(host.simStruct().methods.mdlInitializeSizes, nullptr);
    EXPECT_EQ(host.simStruct().sizes[19], 0);
    EXPECT_EQ(host.simStruct().sizes[3], 0);
}

TEST_F(Registration, long_mismatching_name_is_cut_to_keep_the_message_whole)
{
    HostBlock host(entry(), std::string(400, 'x'));
    MexCallResult outcome = host.registerBlock();
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.message.size(), 255u);
    EXPECT_NE(outcome.message.find("\"xxxx"), std::string::npos);
    EXPECT_TRUE(outcome.message.ends_with("xx\". The source needs to be updated")) << outcome.message;
}

void hostCheckParameters(SimStruct*) {}

TEST_F(Registration, registration_fills_the_seven_slots_and_returns_the_host_sizes)
{
    HostBlock host(entry());
    host.setDialogParameters(threeParameters());
    SimStruct& S = host.simStruct();
    S.methods.mdlCheckParameters = hostCheckParameters;
    for (int entry : {0, 1, 8, 9, 20, 22, 23}) {
        S.sizes[entry] = 0x5a5a5a5a;  // junk, for the block to clear
    }
    S.sizes[5] = -5;                                 // host word read signed
    S.sizes[15] = -1;                                // host word read unsigned
    S.sizes[18] = static_cast<int32_t>(0x80000000);  // likewise
    MexCallResult outcome = host.registerBlock();
    ASSERT_FALSE(outcome.failed) << outcome.message;

    EXPECT_NE(S.methods.mdlInitializeSizes, nullptr);
    EXPECT_NE(S.methods.mdlInitializeSampleTimes, nullptr);
    EXPECT_NE(S.methods.mdlStart, nullptr);
    EXPECT_NE(S.methods.mdlGetTimeOfNextVarHit, nullptr);
    EXPECT_NE(S.methods.mdlOutputs, nullptr);
    EXPECT_NE(S.methods.mdlZeroCrossings, nullptr);
    EXPECT_NE(S.methods.mdlTerminate, nullptr);
    EXPECT_EQ(S.methods.mdlCheckParameters, hostCheckParameters);
    EXPECT_EQ(S.methods.mdlSetWorkWidths, nullptr);
    EXPECT_EQ(S.methods.mdlSetInputPortWidth, nullptr);

    EXPECT_EQ(outcome.result, expectedVector({{3, 9}, {5, -5}, {6, 1}, {7, 3}, {10, 2}, {15, 4294967295.0},
                                              {18, 2147483648.0}, {19, versionWord}, {23, 8192}}));
    EXPECT_EQ(S.sizes[23], 0x2000);  // the bit stays in the host's structure
    const int widths[] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
    for (int port = 0; port < 9; ++port) {
        EXPECT_EQ(S.inputPorts[port].width, widths[port]);
        EXPECT_EQ(S.inputPorts[port].directFeedThrough, 1);
        EXPECT_EQ(S.inputPorts[port].flags & PORT_FLAG_CONTIGUOUS, PORT_FLAG_CONTIGUOUS);
    }
}

TEST_F(Registration, wrong_parameter_count_declares_only_the_expected_count)
{
    for (std::size_t count : {2u, 4u}) {
        HostBlock host(entry());
        std::vector<Array> parameters = threeParameters();
        if (count == 2) {
            parameters.pop_back();
        } else {
            parameters.push_back(doubleArray({1.0}));
        }
        host.setDialogParameters(std::move(parameters));
        MexCallResult outcome = host.registerBlock();
        ASSERT_FALSE(outcome.failed);
        EXPECT_EQ(outcome.result, expectedVector({{7, 3}, {19, versionWord}, {23, 8192}})) << count;
    }
}

// ---- Sample times -----------------------------------------------------------

TEST_F(Registration, sample_time_is_the_first_element_of_the_parameter)
{
    HostBlock host(entry());
    std::vector<Array> parameters = threeParameters();
    parameters[0] = doubleArray({0.25, 7.0});
    host.setDialogParameters(std::move(parameters));
    ASSERT_FALSE(host.registerBlock().failed);
    host.simStruct().offsetTimes[0] = 9.0;
    EXPECT_EQ(host.initializeSampleTimes(), "");
    EXPECT_EQ(host.sampleTime(), 0.25);
    EXPECT_EQ(host.offsetTime(), 0.0);
}

TEST_F(Registration, sample_time_without_a_double_is_an_error_not_a_read)
{
    std::vector<Array> values;
    values.push_back(emptyArray());
    values.push_back(charArray("0.1"));
    values.push_back(numericScalar(mxINT8_CLASS, 1.0));
    values.push_back(numericScalar(mxSINGLE_CLASS, 0.5));
    values.push_back(Array(mxCreateLogicalScalar(true)));
    for (Array& value : values) {
        HostBlock host(entry());
        std::vector<Array> parameters = threeParameters();
        parameters[0] = std::move(value);
        host.setDialogParameters(std::move(parameters));
        ASSERT_FALSE(host.registerBlock().failed);
        host.simStruct().sampleTimes[0] = -7.0;
        EXPECT_EQ(host.initializeSampleTimes(), "SampleTime must hold at least one real number");
        EXPECT_EQ(host.sampleTime(), -7.0);
    }
}

TEST_F(Registration, sample_time_follows_the_parameters_the_host_gives_now)
{
    HostBlock host(entry());
    host.setDialogParameters(threeParameters());
    ASSERT_FALSE(host.registerBlock().failed);
    const std::int32_t given = host.simStruct().numSFcnParamsGiven;
    host.simStruct().numSFcnParamsGiven = 0;  // the parameter array is still there
    EXPECT_EQ(host.initializeSampleTimes(), "SampleTime must hold at least one real number");
    host.simStruct().numSFcnParamsGiven = given;
    const mxArray** parameters = host.simStruct().sfcnParams;
    host.simStruct().sfcnParams = nullptr;
    EXPECT_EQ(host.initializeSampleTimes(), "SampleTime must hold at least one real number");
    host.simStruct().sfcnParams = parameters;
    EXPECT_EQ(host.initializeSampleTimes(), "");
}

// ---- Flag dispatch ----------------------------------------------------------

class FlagDispatch : public Registration {
protected:
    void SetUp() override
    {
        Registration::SetUp();
        host = std::make_unique<HostBlock>(entry());
        host->setDialogParameters(threeParameters());
        ASSERT_FALSE(host->registerBlock().failed);
    }
    void TearDown() override
    {
        if (host) {
            host->terminate();
        }
    }
    void setFlagsBit0(bool on)
    {
        int32_t& flags = host->simStruct().sizes[31];
        flags = on ? (flags | 1) : (flags & ~1);
    }
    std::unique_ptr<HostBlock> host;
};

TEST_F(FlagDispatch, unserved_flags_set_their_message)
{
    const std::pair<int, const char*> rows[] = {
        {111, "mdlSetWorkWidths"}, {112, "mdlCheckParameters"},
        {113, "mdlSetInputPortDataType"}, {114, "mdlSetOutputPortDataType"},
        {115, "mdlSetInputPortWidth"}, {116, "mdlSetOutputPortWidth"},
        {120, "mdlSetInputPortComplexSignal"}, {121, "mdlSetOutputPortComplexSignal"},
        {122, "mdlSetInputPortSampleTime"}, {123, "mdlSetOutputPortSampleTime"},
        {128, "mdlSetInputPortFrameData"}, {131, "mdlSetDefaultPortDimensionInfo"},
        {132, "mdlSetDefaultPortDataTypes"}, {133, "mdlSetDefaultPortComplexSignals"},
    };
    for (const auto& [flag, method] : rows) {
        EXPECT_EQ(host->flagCall(flag), std::string("Unexpected call to ") + method) << flag;
    }
    setFlagsBit0(true);
    EXPECT_EQ(host->flagCall(126), "Unexpected call to mdlSetInputPortDimensionInfo");
    EXPECT_EQ(host->flagCall(127), "Unexpected call to mdlSetOutputPortDimensionInfo");
}

TEST_F(FlagDispatch, flags_outside_the_table_are_invalid_and_run_nothing)
{
    for (double flag : {0.0, 100.0, 102.0, 105.0, 106.0, 109.0, 110.0, 118.0, 119.0, 124.0, 125.0, 129.0, 130.0,
                        134.0, -101.0, 1e300, std::numeric_limits<double>::quiet_NaN()}) {
        host->simStruct().sampleTimes[0] = -3.0;
        EXPECT_EQ(host->flagCall(flag), "Invalid flag encountered in simulink") << flag;
        EXPECT_EQ(host->sampleTime(), -3.0);
    }
}

TEST_F(FlagDispatch, a_simulation_call_reads_its_flag_only_from_the_fourth_of_its_arguments)
{
    Array outputs = doubleArray({104.0});
    SimStruct& S = host->simStruct();
    std::array<mxArray*, 2> plhs{nullptr, reinterpret_cast<mxArray*>(&S)};
    // Three arguments: the fourth slot is not theirs, whatever it holds.
    std::array<const mxArray*, 5> prhs{nullptr, nullptr, nullptr, outputs.get(), nullptr};
    for (int nrhs : {3, 4}) {
        S.errorStatus = nullptr;
        EXPECT_EQ(mexEmuCall(entry(), -1, plhs.data(), nrhs, prhs.data()), 0);
        EXPECT_EQ(S.errorStatus == nullptr, nrhs == 4) << nrhs;
    }
    // No structure to run on or report to: nothing happens, nothing crashes.
    EXPECT_EQ(mexEmuCall(entry(), -1, nullptr, 4, prhs.data()), 0);
    plhs[1] = nullptr;
    EXPECT_EQ(mexEmuCall(entry(), -1, plhs.data(), 4, prhs.data()), 0);
}

TEST_F(FlagDispatch, flag_101_keeps_the_status_that_the_method_set)
{
    std::vector<Array> parameters = threeParameters();
    parameters[0] = charArray("0.1");
    host->setDialogParameters(std::move(parameters));
    EXPECT_EQ(host->flagCall(101), "SampleTime must hold at least one real number");
}

TEST_F(FlagDispatch, flags_truncate_toward_zero)
{
    EXPECT_EQ(host->flagCall(101.9), "");
    EXPECT_EQ(host->sampleTime(), 0.05);
    host->simStruct().sampleTimes[0] = 0.0;
    EXPECT_EQ(host->flagCall(101.0), "");
    EXPECT_EQ(host->sampleTime(), 0.05);
}

TEST_F(FlagDispatch, stubs_report_what_is_missing)
{
    EXPECT_EQ(host->flagCall(103), "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and "
                                   "add a mdlGetTimeOfNextVarHit routine");
    EXPECT_EQ(host->flagCall(108), "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
                                   "mdlZeroCrossings routine");
}

struct WidthCall {
    int port = -1;
    int value = -1;
    const DimsInfo_T* dims = nullptr;
    int calls = 0;
};
WidthCall widthCall;
void hostWidth(SimStruct*, int port, int value) { widthCall = WidthCall{port, value, nullptr, widthCall.calls + 1}; }
void hostDims(SimStruct*, int port, const DimsInfo_T* dims) { widthCall = WidthCall{port, -1, dims, widthCall.calls + 1}; }

TEST_F(FlagDispatch, one_width_slot_serves_the_form_that_flags_bit_0_selects)
{
    SimStruct& S = host->simStruct();
    DimsInfo_T dims{4, 1, nullptr};
    S.sizes[4] = 6;
    host->modelInfo().callValue = 17;
    host->modelInfo().dimsInfo = &dims;

    widthCall = {};
    S.methods.mdlSetInputPortWidth = reinterpret_cast<AnyMethodFcn>(hostWidth);
    S.methods.mdlSetOutputPortWidth = reinterpret_cast<AnyMethodFcn>(hostWidth);
    EXPECT_EQ(host->flagCall(115), "");
    EXPECT_EQ(widthCall.port, 6);
    EXPECT_EQ(widthCall.value, 17);
    EXPECT_EQ(host->flagCall(116), "");
    EXPECT_EQ(host->flagCall(126), "Unexpected call to mdlSetInputPortDimensionInfo");
    EXPECT_EQ(host->flagCall(127), "Unexpected call to mdlSetOutputPortDimensionInfo");
    EXPECT_EQ(widthCall.calls, 2);

    setFlagsBit0(true);
    S.methods.mdlSetInputPortWidth = reinterpret_cast<AnyMethodFcn>(hostDims);
    S.methods.mdlSetOutputPortWidth = reinterpret_cast<AnyMethodFcn>(hostDims);
    EXPECT_EQ(host->flagCall(115), "Unexpected call to mdlSetInputPortWidth");
    EXPECT_EQ(host->flagCall(116), "Unexpected call to mdlSetOutputPortWidth");
    EXPECT_EQ(host->flagCall(126), "");
    EXPECT_EQ(widthCall.port, 6);
    EXPECT_EQ(widthCall.dims, &dims);
    EXPECT_EQ(host->flagCall(127), "");
    EXPECT_EQ(widthCall.calls, 4);
}

double sampleTimeSeen = 0.0;
double offsetTimeSeen = 0.0;
void hostSampleTime(SimStruct*, int, double sampleTime, double offsetTime)
{
    sampleTimeSeen = sampleTime;
    offsetTimeSeen = offsetTime;
}

struct SlotCall {
    const char* slot = nullptr;
    SimStruct* S = nullptr;
    int port = -1;
    int value = -1;
};
SlotCall slotCall;
template <const char* name>
void plainSlot(SimStruct* S) { slotCall = SlotCall{name, S}; }
template <const char* name>
void portValueSlot(SimStruct* S, int port, int value) { slotCall = SlotCall{name, S, port, value}; }
constexpr char workWidths[] = "workWidths", checkParameters[] = "checkParameters", inputType[] = "inputType",
               outputType[] = "outputType", inputComplex[] = "inputComplex", outputComplex[] = "outputComplex",
               frameData[] = "frameData", defaultDims[] = "defaultDims", defaultTypes[] = "defaultTypes",
               defaultComplex[] = "defaultComplex";

TEST_F(FlagDispatch, every_filled_slot_is_called_with_its_arguments_and_sets_no_status)
{
    SimStruct& S = host->simStruct();
    MethodTable& m = S.methods;
    ExtendedMethodTable& x = host->extendedMethods();
    m.mdlSetWorkWidths = plainSlot<workWidths>;
    m.mdlCheckParameters = plainSlot<checkParameters>;
    m.mdlSetInputPortDataType = portValueSlot<inputType>;
    m.mdlSetOutputPortDataType = portValueSlot<outputType>;
    m.mdlSetInputPortComplexSignal = portValueSlot<inputComplex>;
    m.mdlSetOutputPortComplexSignal = portValueSlot<outputComplex>;
    x.mdlSetInputPortFrameData = portValueSlot<frameData>;
    x.mdlSetDefaultPortDimensionInfo = plainSlot<defaultDims>;
    x.mdlSetDefaultPortDataTypes = plainSlot<defaultTypes>;
    x.mdlSetDefaultPortComplexSignals = plainSlot<defaultComplex>;
    S.sizes[4] = 5;                    // the call's port
    host->modelInfo().callValue = 23;  // and value
    const struct {
        int flag;
        const char* slot;
        bool portAndValue;
    } rows[] = {{111, workWidths, false},   {112, checkParameters, false}, {113, inputType, true},
                {114, outputType, true},    {120, inputComplex, true},     {121, outputComplex, true},
                {128, frameData, true},     {131, defaultDims, false},     {132, defaultTypes, false},
                {133, defaultComplex, false}};
    for (const auto& row : rows) {
        slotCall = {};
        EXPECT_EQ(host->flagCall(row.flag), "") << row.flag;
        EXPECT_EQ(slotCall.slot, row.slot) << row.flag;
        EXPECT_EQ(slotCall.S, &S) << row.flag;
        EXPECT_EQ(slotCall.port, row.portAndValue ? 5 : -1) << row.flag;
        EXPECT_EQ(slotCall.value, row.portAndValue ? 23 : -1) << row.flag;
    }
    // A structure without its model record passes the value 0.
    S.modelInfo = nullptr;
    EXPECT_EQ(host->flagCall(113), "");
    EXPECT_EQ(slotCall.value, 0);
    S.modelInfo = &host->modelInfo();
}

TEST_F(FlagDispatch, filled_host_slots_get_port_and_call_values)
{
    host->modelInfo().sampleTime = 0.5;
    host->modelInfo().offsetTime = 0.125;
    host->simStruct().methods.mdlSetOutputPortSampleTime = hostSampleTime;
    EXPECT_EQ(host->flagCall(123), "");
    EXPECT_EQ(sampleTimeSeen, 0.5);
    EXPECT_EQ(offsetTimeSeen, 0.125);
    EXPECT_EQ(host->flagCall(122), "Unexpected call to mdlSetInputPortSampleTime");
}

int hostStartCalls = 0;
void hostStart(SimStruct*) { ++hostStartCalls; }

TEST_F(FlagDispatch, flag_117_runs_the_blocks_own_start_only_when_the_slot_is_filled)
{
    SimStruct& S = host->simStruct();
    S.methods.mdlStart = nullptr;
    EXPECT_EQ(host->flagCall(117), "Unexpected call to mdlStart");
    EXPECT_EQ(host->pwork()[0], nullptr);

    S.methods.mdlStart = hostStart;
    EXPECT_EQ(host->flagCall(117), "");
    EXPECT_EQ(hostStartCalls, 0);
    EXPECT_NE(host->pwork()[0], nullptr);  // the block's cells
    EXPECT_NE(host->pwork()[1], nullptr);
    EXPECT_EQ(host->flagCall(107), "");
    EXPECT_EQ(host->pwork()[0], nullptr);
}

}  // namespace
