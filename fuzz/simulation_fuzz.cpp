// The simulation path with arbitrary flags, flags-word bits, call values
// and slot states on a registered host structure, including starts and
// steps with the link open to a discard port on loopback.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "host_driver.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

void hostMethod(SimStruct*) {}
void hostPortValue(SimStruct*, int, int) {}
void hostSampleTime(SimStruct*, int, double, double) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    emulated_host::HostBlock host(mexFunction);
    std::vector<emulated_host::Array> parameters;
    parameters.push_back(emulated_host::doubleArray({0.01}));
    parameters.push_back(emulated_host::charArray("127.0.0.1"));
    parameters.push_back(emulated_host::doubleArray({9.0}));  // discard; nothing listens
    host.setDialogParameters(std::move(parameters));
    if (host.registerBlock().failed) {
        __builtin_trap();
    }
    SimStruct& S = host.simStruct();
    static const double flags[] = {101, 103, 104, 107, 108, 111, 112, 113, 114, 115, 116, 117, 120, 121, 122,
                                   123, 126, 127, 128, 131, 132, 133, 100, 102, 134, 101.9, -1};
    for (int calls = data.ConsumeIntegralInRange(0, 24); calls > 0 && data.remaining_bytes() > 0; --calls) {
        switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0: S.sizes[SIZES_FLAGS] = data.ConsumeIntegral<int32_t>(); break;
        case 1:
            S.sizes[SIZES_CALL_ARGUMENT] = data.ConsumeIntegral<int32_t>();
            host.modelInfo().callValue = data.ConsumeIntegral<int32_t>();
            break;
        case 2: {
            // Empty or fill one host slot; the block's own slots may be emptied too.
            const bool fill = data.ConsumeBool();
            switch (data.ConsumeIntegralInRange(0, 6)) {
            case 0: S.methods.mdlSetWorkWidths = fill ? hostMethod : nullptr; break;
            case 1: S.methods.mdlSetInputPortDataType = fill ? hostPortValue : nullptr; break;
            case 2: S.methods.mdlSetInputPortWidth = fill ? reinterpret_cast<AnyMethodFcn>(hostPortValue) : nullptr; break;
            case 3: S.methods.mdlSetOutputPortSampleTime = fill ? hostSampleTime : nullptr; break;
            case 4: host.extendedMethods().mdlSetInputPortFrameData = fill ? hostPortValue : nullptr; break;
            case 5: host.extendedMethods().mdlSetDefaultPortDataTypes = fill ? hostMethod : nullptr; break;
            default: S.methods.mdlStart = fill ? hostMethod : nullptr; break;
            }
            break;
        }
        default: {
            // Flags bit 0 with a value-form slot would be the host's own mistake.
            if ((S.sizes[SIZES_FLAGS] & 1) != 0) {
                S.methods.mdlSetInputPortWidth = nullptr;
            }
            const double flag = data.ConsumeBool() ? data.PickValueInArray(flags) : data.ConsumeFloatingPoint<double>();
            for (double& element : host.input(data.ConsumeIntegralInRange(0, 8))) {
                element = data.ConsumeFloatingPoint<double>();
            }
            host.flagCall(flag);
            break;
        }
        }
    }
    host.flagCall(107);  // every run ends with mdlTerminate
    return 0;
}
