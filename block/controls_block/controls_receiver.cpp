// Taking the controls datagrams of one step.
#include "controls_receiver.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace orvalink {
namespace controls {

namespace {
constexpr std::size_t quotedNameLength = 32;  // a host name in a message is cut here
char refusalText[128];
}  // namespace

double secondsNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void takeQueued(Receiver& receiver, double now) noexcept
{
    for (int i = 0; i < maxDatagramsPerStep; ++i) {
        const long length = receiveDatagram(receiver.socket, receiver.buffer, sizeof receiver.buffer);
        if (length < 0) {
            return;
        }
        if (ctrls27::decode(receiver.buffer, static_cast<std::size_t>(length), receiver.held) == ctrls27::Refusal::none) {
            receiver.taken += 1.0;
            receiver.lastTakenAt = now;
        } else {
            receiver.refused += 1.0;
        }
    }
}

double ageOf(const Receiver& receiver, double now) noexcept
{
    return receiver.taken > 0.0 ? now - receiver.lastTakenAt : -1.0;
}

const char* listenRefusal(const char* hostName, std::uint16_t port, ListenFailure failure)
{
    const char* reason = failure == ListenFailure::portTaken    ? "the port is taken by another program"
                         : failure == ListenFailure::badAddress ? "the address is not known"
                         : failure == ListenFailure::notBound   ? "the address is not one of this computer's"
                                                                : "no socket could be opened";
    const bool cut = std::strlen(hostName) > quotedNameLength;
    std::snprintf(refusalText, sizeof refusalText, "Could not listen on %.*s%s port %u: %s",
                  static_cast<int>(quotedNameLength), hostName, cut ? "..." : "", static_cast<unsigned>(port), reason);
    return refusalText;
}

}  // namespace controls
}  // namespace orvalink
