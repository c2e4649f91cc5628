// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace morvane::testing {

// A real rigctld serving Hamlib's dummy radio on a free loopback port, killed
// when destroyed. SIGSTOP to pid() makes a hung radio of it.
class RigctldProcess {
  public:
    explicit RigctldProcess(const std::string& extraArguments = {});
    ~RigctldProcess() { Kill(); }

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void Kill();  // SIGKILL, and reap it
    // A new rigctld on the same port; returns at once, not holding up a window's thread.
    void Restart();

  private:
    std::string command_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A sounder's sweep as it leaves the sounder: from 0 Hz at `startS` into each period of
// the UTC day (periods that divide the day), rising at `kHzPerS` up to the rate's top,
// then nothing on the air until the next.
struct Sweep {
    double periodS = 300;
    double startS = 0;  // may be fractional, or negative: a period's start plus this
    int kHzPerS = 100;
    double TopHz() const { return kHzPerS == 50 || kHzPerS == 500 ? 16e6 : 30e6; }
    // When the sweep nearest `nearUtcMs` reaches `hertz`: ms since 1970, UTC.
    double ReachesUtcMs(double hertz, double nearUtcMs) const;
};

// A rigctld-protocol peer in front of a real rigctld, for one link at a time: it passes all
// through until told to play a faulty radio: one refusing every frequency command ("RPRT
// -9"), one answering every request with an error (rigctld while its radio times out:
// "RPRT -5"), a hostile peer answering nothing but a byte every 0.3 s, never a line end;
// or, whatever it plays, a slow radio whose answers all come late. Given a sweep, it also
// plays a sounder on the air and the radio's S-meter hearing it in USB.
class RigctldProxy {
  public:
    enum class Mode { PassThrough, Refusing, Failing, Trickling };
    explicit RigctldProxy(const RigctldProcess& rigctld);

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Refusing and Failing answer "RPRT code".
    void Play(Mode mode, int code = -9) {
        code_ = code;
        mode_ = mode;
    }
    // From now on every answer reaches the client this much later than it came.
    void HoldAnswers(std::chrono::milliseconds late) { lateMs_ = late.count(); }
    // From now on, answer frequency reads with these texts in turn, the last for good.
    void AnswerFrequencyReadsWith(const std::vector<std::string>& texts) {
        std::lock_guard lock(mutex_);
        readings_ = texts;
    }
    // From now on, answer "l STRENGTH" with the meter on the frequency rigctld last took, in
    // dB over S9: noise near -40, up to +10 after a chirp passed through the passband, but
    // only below the maximum usable frequency.
    void PlaySounder(const Sweep& sweep) {
        std::lock_guard lock(mutex_);
        sweep_ = sweep;
    }
    void SetMaximumUsableFrequency(double hertz) { mufHz_ = hertz; }
    void SetPathDelay(std::chrono::milliseconds delay) { pathDelayMs_ = delay.count(); }
    // A meter read takes this long, sampled halfway through.
    void SetReadTime(std::chrono::milliseconds read) { readTimeMs_ = read.count(); }
    int Clients() const { return clients_; }  // how many connections it has taken
    // The frequency commands refused so far, as they came ("F 2000000.000000").
    std::vector<std::string> RefusedCommands() const {
        std::lock_guard lock(mutex_);
        return refused_;
    }

  private:
    // The radio's frequency as rigctld acknowledged it; only the proxy's thread has it.
    struct Tuning {
        std::optional<double> askedHz;  // a frequency command on its way to rigctld
        double hertz = 0;
        double sinceS = 0;                       // when rigctld acknowledged it: s since 1970, UTC
        void Asked(const std::string& request);  // a request on its way to rigctld
        void Answered(std::string_view answer);  // rigctld's answer to it
    };
    void Serve(int client, int upstream, std::stop_token stop);
    std::optional<std::string> AnswerInstead(const std::string& request, const Tuning& tuning);
    std::string MeterReading(const Sweep& sweep, const Tuning& tuning);

    const int upstreamPort_;
    int port_ = 0;
    const int listener_;
    std::atomic<Mode> mode_ = Mode::PassThrough;
    std::atomic<int> code_ = -9;
    std::atomic<std::chrono::milliseconds::rep> lateMs_ = 0;
    std::atomic<int> clients_ = 0;
    std::atomic<double> mufHz_ = 30e6;
    std::atomic<std::chrono::milliseconds::rep> pathDelayMs_ = 10;
    std::atomic<std::chrono::milliseconds::rep> readTimeMs_ = 0;
    mutable std::mutex mutex_;  // guards the three below, shared with the proxy's thread
    std::vector<std::string> readings_;
    std::vector<std::string> refused_;
    std::optional<Sweep> sweep_;
    std::jthread thread_;  // last: starts after everything it uses, stops before any goes
};

}  // namespace morvane::testing
