// What the controls block and the FMU do at each step, free of any host:
// take every queued controls datagram without waiting, keep the last good
// one, count the rest.
#pragma once

#include "controls_packet.h"
#include "listener.h"

namespace orvalink {
namespace controls {

// Datagrams taken in one step at most, so that a sender faster than the
// step cannot hold the simulation; what is left is taken at the next step.
constexpr int maxDatagramsPerStep = 256;

struct Receiver {
    platform::SocketHandle socket;
    ctrls27::Controls held;  // the last datagram taken; zeros before the first
    double taken;
    double refused;
    double lastTakenAt;  // seconds by the steady clock; meaningless before the first
    // What one receive takes: each buffer one byte longer than a datagram,
    // so that a longer one shows as longer.
    std::uint8_t buffers[platform::largestBatch][ctrls27::packetSize + 1];
    std::size_t lengths[platform::largestBatch];
};

// Seconds by the steady clock (the wall clock's pace, never set back).
double secondsNow();

// Takes what is queued on the receiver's socket: every datagram is checked
// and counted, the last good one decoded. True when it took a good one; it
// then read the clock, into `now` and the receiver's lastTakenAt.
bool takeQueued(Receiver& receiver, double& now) noexcept;

// The clock for a step: the time takeQueued read, or a new reading once
// there is an age to tell, else 0 (nothing taken yet: no clock needed).
inline double stepTime(const Receiver& receiver, bool read, double now)
{
    return read ? now : receiver.taken > 0.0 ? secondsNow() : 0.0;
}

// Seconds since the last datagram was taken, at `now`; -1 before the first.
double ageOf(const Receiver& receiver, double now) noexcept;

// "Could not listen on HOST port PORT: REASON", the host name cut short;
// the text stays valid until the next call.
const char* listenRefusal(const char* hostName, std::uint16_t port, ListenFailure failure);

}  // namespace controls
}  // namespace orvalink
