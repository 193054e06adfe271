// The listener's and the relay's handling of arbitrary datagrams: every
// datagram is recognised or described, and only well-formed version-17
// datagrams are translated, with their counts clamped. The controls
// decoder takes only what the listener recognises as controls, and then
// never a count beyond its arrays.
#include <cstdint>
#include <span>

#include "datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(bytes, size);
    const fdm::Recognised recognised = fdm::recognise(datagram, fdm::Accept::controlsToo);
    ctrls27::Controls controls{};
    const bool decoded = ctrls27::decode(bytes, size, controls) == ctrls27::Refusal::none;
    if (decoded != (recognised.kind == fdm::Kind::controls27) || controls.engineCount > 4 || controls.tankCount > 8) {
        __builtin_trap();
    }
    if (recognised.kind == fdm::Kind::malformed) {
        if (fdm::describe(recognised).empty()) {
            __builtin_trap();
        }
        return 0;
    }
    for (const fdm17::Field& field : fdm::fieldsOf(recognised.kind)) {
        for (std::size_t i = 0; i < field.count; ++i) {
            (void)fdm::valueOf(datagram, field, i);
        }
    }
    if (recognised.kind == fdm::Kind::version17) {
        std::uint8_t out[fdm24::packetSize];
        fdm24::translate17to24(bytes, out);
        if (fdm17::loadU32(out) != 24 || fdm17::loadU32(out + fdm24::offset::engineCount) > 4 ||
            fdm17::loadU32(out + fdm24::offset::tankCount) > 4 || fdm17::loadU32(out + fdm24::offset::wheelCount) > 3) {
            __builtin_trap();
        }
        for (int wheel = 0; wheel < 3; ++wheel) {
            if (fdm17::loadU32(out + fdm24::offset::weightOnWheels + 4 * wheel) > 1) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
