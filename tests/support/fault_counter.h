// Counts each kind of call a fault-injection test wraps and fails the chosen
// one: the `failOnCall`-th call of kind `failing` (1: the first). `Call` is
// the test's own enum of call kinds, ending in `count`.
#pragma once

template <typename Call>
struct FaultCounter {
    int calls[static_cast<int>(Call::count)] = {};
    Call failing = Call::count;
    int failOnCall = 1;
    int faultsFired = 0;

    bool fails(Call call)
    {
        const int n = ++calls[static_cast<int>(call)];
        if (call == failing && n == failOnCall) {
            ++faultsFired;
            return true;
        }
        return false;
    }
    int count(Call call) const { return calls[static_cast<int>(call)]; }
};
