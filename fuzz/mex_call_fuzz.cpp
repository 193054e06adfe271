// The MATLAB-side call of mexFunction with arbitrary right-hand arguments:
// counts, array kinds, sizes, complex and char arrays, flags, and hand-over
// markers near 5200229.0. A structure is handed over only with a real
// address, as a host does; every other outcome must be a clean error or a
// sizes vector.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "host_driver.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

using emulated_host::Array;

double interestingDouble(FuzzedDataProvider& data)
{
    static const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5, 5200229.0, 5200229.5, 4294967296.0, 2147483648.0,
                                    -2147483649.0, 1e300, __builtin_inf(), -__builtin_inf(), __builtin_nan("")};
    if (data.ConsumeBool()) {
        return data.PickValueInArray(values);
    }
    return data.ConsumeFloatingPoint<double>();
}

Array arbitraryArray(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange(0, 4)) {
    case 0: return emulated_host::emptyArray();
    case 1: return emulated_host::charArray(data.ConsumeRandomLengthString(300));
    case 2: return Array(mxCreateLogicalScalar(data.ConsumeBool()));
    default: {
        const std::size_t rows = data.ConsumeIntegralInRange<std::size_t>(0, 4);
        const std::size_t columns = data.ConsumeIntegralInRange<std::size_t>(0, 4);
        const bool complex = data.ConsumeBool() && data.ConsumeBool();
        Array array(mxCreateDoubleMatrix(rows, columns, complex ? mxCOMPLEX : mxREAL));
        for (std::size_t i = 0; i < rows * columns; ++i) {
            mxGetPr(array.get())[i] = interestingDouble(data);
            if (complex) {
                mxGetPi(array.get())[i] = interestingDouble(data);
            }
        }
        return array;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    emulated_host::HostBlock host(mexFunction, data.ConsumeBool() ? "orvalink" : data.ConsumeRandomLengthString(400));
    std::vector<Array> parameters;
    for (int i = data.ConsumeIntegralInRange(0, 4); i > 0; --i) {
        parameters.push_back(arbitraryArray(data));
    }
    host.setDialogParameters(std::move(parameters));

    const int nlhs = data.ConsumeIntegralInRange(0, 3);
    std::vector<Array> owned;
    for (int i = data.ConsumeIntegralInRange(0, 8); i > 0; --i) {
        owned.push_back(arbitraryArray(data));
    }
    // The second argument hands over the real structure when its marker is exact.
    if (owned.size() >= 2 && data.ConsumeBool()) {
        const double marker = data.ConsumeBool() ? 5200229.0 : interestingDouble(data);
        const auto address = static_cast<double>(reinterpret_cast<std::uintptr_t>(&host.simStruct()));
        owned[1] = emulated_host::doubleArray({address, marker}, 2);
    }
    const mxArray* second = owned.size() >= 2 ? owned[1].get() : nullptr;
    if (second != nullptr && mxGetM(second) == 2 && mxGetN(second) >= 1 && mxGetPr(second) != nullptr &&
        mxGetPr(second)[1] == 5200229.0) {
        mxGetPr(const_cast<mxArray*>(second))[0] = static_cast<double>(reinterpret_cast<std::uintptr_t>(&host.simStruct()));
    }
    std::vector<const mxArray*> prhs;
    for (const Array& array : owned) {
        prhs.push_back(array.get());
    }
    const emulated_host::MexCallResult outcome = emulated_host::callMatlabSide(mexFunction, nlhs, prhs);
    if (!outcome.failed && outcome.result.size() != 38) {
        __builtin_trap();  // a call that returns must return the sizes vector
    }
    return 0;
}
