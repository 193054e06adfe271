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

bool takeQueued(Receiver& receiver, double& now) noexcept
{
    constexpr int batch = platform::largestBatch;
    bool took = false;
    for (int round = 0; round < maxDatagramsPerStep / batch; ++round) {
        const int taken = receiveDatagrams(receiver.socket, receiver.buffers[0], sizeof receiver.buffers[0], batch,
                                           receiver.lengths);
        int last = -1;
        for (int i = 0; i < taken; ++i) {
            if (ctrls27::check(receiver.buffers[i], receiver.lengths[i]) == ctrls27::Refusal::none) {
                receiver.taken += 1.0;
                last = i;
            } else {
                receiver.refused += 1.0;
            }
        }
        if (last >= 0) {
            (void)ctrls27::decode(receiver.buffers[last], receiver.lengths[last], receiver.held);
            took = true;
        }
        if (taken < batch) {
            break;  // nothing more queued
        }
    }
    if (took) {
        now = secondsNow();
        receiver.lastTakenAt = now;
    }
    return took;
}

double ageOf(const Receiver& receiver, double now) noexcept
{
    if (receiver.taken == 0.0) {
        return -1.0;
    }
    // A clock read twice in a row can come out a hair earlier (seen under
    // Wine, -2e-13 s): an age is never below 0.
    const double age = now - receiver.lastTakenAt;
    return age > 0.0 ? age : 0.0;
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
