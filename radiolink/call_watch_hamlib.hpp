// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hamlib/rig.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace morvane {

// A deadline for every Hamlib call on a radio. Hamlib's time-out bounds each
// read, not a whole reply: a peer that sends a byte now and then, and never
// the end of a line, keeps a call waiting for good. A watchdog thread ends a
// call that overruns its deadline by cutting the radio's port from under it,
// so that Hamlib's next read fails at once; a call it cannot end that way (one
// still connecting, say) is given up for lost all the same.
class CallWatch {
  public:
    // `overran` is called on the watchdog's thread, once for each call that overruns.
    explicit CallWatch(std::function<void()> overran);
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    // Runs `call`, which works on `rig`'s port. False when it overran `limit`:
    // whatever it returned then came from a port that was cut.
    bool RunWithin(RIG* rig, std::chrono::milliseconds limit, const std::function<void()>& call);
    // From now on no call, the one under way included, may take more than `limit`.
    void Hurry(std::chrono::milliseconds limit);
    // Ends the watchdog; calls made after this are no longer watched.
    void Stop();

  private:
    using Clock = std::chrono::steady_clock;
    void Watch();

    std::function<void()> overran_;
    std::mutex mutex_;  // guards the fields below it, shared with the watchdog
    std::condition_variable changed_;
    RIG* rig_ = nullptr;  // the radio whose call is under way, if any
    Clock::time_point deadline_;
    bool overrun_ = false;  // the call under way has overrun
    std::optional<std::chrono::milliseconds> hurry_;
    bool stopping_ = false;
    std::thread watchdog_;  // last, so that it starts after everything it uses
};

// Keeps the process's signals away from this thread: taken here, one would
// cut a radio call short. The window's thread takes them instead.
void BlockSignalsInThisThread();

}  // namespace morvane
