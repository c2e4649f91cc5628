// SPDX-License-Identifier: GPL-3.0-or-later
// Asks the tracking core where a sounder's sweep is, for the benchmark
// scripts, so that they never work out the tick's arithmetic themselves.
//
//   sweep_plan chirp PERIOD RATE CTIME_MS IN_S PHASE_MS
//       a chirp time that has the sweep CTIME_MS ms under way IN_S seconds from
//       now, its 50 ms grid PHASE_MS ms (fractions allowed) off the clock's
//   sweep_plan wait PERIOD CHIRP RATE STEP SECONDS
//       milliseconds until SECONDS seconds of the sweep's retunes lie ahead (0: now)
//
// Times are the local time of day, as the program reads it.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "tracking/sweep_frequency.hpp"
#include "tracking/tick.hpp"
#include "tracking/tick_schedule.hpp"

namespace {

using namespace morvane;

constexpr long kDayMs = 86'400'000;

long NowMsOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return ((local.tm_hour * 60L + local.tm_min) * 60L + local.tm_sec) * 1000L + ms;
}

ClockReading ClockAt(long ms) {
    ms = (ms % kDayMs + kDayMs) % kDayMs;
    return {static_cast<int>(ms / 3'600'000), static_cast<int>(ms / 60'000 % 60),
            static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000)};
}

// What the tick worked out at `ms`: its ctime and the candidate it handed off.
struct Probe : HandOff {
    void HandOffCandidate(MainFields&, const std::string& value) override { candidate = value; }
    std::optional<std::int32_t> TickAt(MainFields fields, long ms) {
        candidate.clear();
        return RunTick(fields, ClockAt(ms), ".", *this).ctime;
    }
    std::string candidate;
};

MainFields Settings(const char* period, const char* chirp, const char* rate, const char* step) {
    MainFields fields;
    fields.Combo_period = period;
    fields.chirptime = chirp;
    fields.Combo_rate = rate;
    fields.Combo_step = step;
    return fields;
}

int Chirp(char** argv) {
    const double periodMs = std::stod(argv[2]) * 1000;
    const double ctimeMs = std::stod(argv[4]);
    const long targetMs = NowMsOfDay() + std::stol(argv[5]) * 1000;
    double chirpMs =
        std::fmod(static_cast<double>(targetMs + kLeadMs) - ctimeMs + periodMs, periodMs);
    // The phase may carry it past the period's end; the program refuses such a
    // chirp time, and the one a period earlier puts the sweep in the same place.
    chirpMs = std::fmod(std::floor(chirpMs / kTickIntervalMs) * kTickIntervalMs + std::stod(argv[6]),
                        periodMs);
    char chirp[32];
    std::snprintf(chirp, sizeof chirp, "%.4f", chirpMs / 1000);
    std::string text(chirp);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    Probe probe;
    const auto ctime = probe.TickAt(Settings(argv[2], text.c_str(), argv[3], "100"), targetMs);
    if (!ctime || std::abs(*ctime - ctimeMs) > 2 * kTickIntervalMs) {
        std::fprintf(stderr, "sweep_plan: chirp time %s does not put the sweep where asked\n",
                     text.c_str());
        return 1;
    }
    std::printf("%s\n", text.c_str());
    return 0;
}

// The sweep retunes from `from` to `from + seconds` when its frequency is
// above the band's bottom at both ends, within one sweep (past the top it
// parks at the bottom).
int Wait(char** argv) {
    const MainFields fields = Settings(argv[2], argv[3], argv[4], argv[5]);
    const long stretchMs = std::stol(argv[6]) * 1000;
    const long now = NowMsOfDay();
    Probe probe;
    const auto retuning = [&](std::optional<std::int32_t> ctime) {
        return ctime && Frequency(fields.Combo_rate, *ctime, ".") > kBandBottomHz;
    };
    for (long wait = 0; wait < 2 * kDayMs / 24; wait += 100) {
        const auto start = probe.TickAt(fields, now + wait);
        const auto end = probe.TickAt(fields, now + wait + stretchMs);
        if (retuning(start) && retuning(end) && *end > *start) {
            std::printf("%ld\n", wait);
            return 0;
        }
    }
    std::fprintf(stderr, "sweep_plan: no %s s of retunes within two hours\n", argv[6]);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "chirp" && argc == 7) return Chirp(argv);
    if (command == "wait" && argc == 7) return Wait(argv);
    std::fprintf(stderr,
                 "usage: sweep_plan chirp PERIOD RATE CTIME_MS IN_S PHASE_MS\n"
                 "       sweep_plan wait PERIOD CHIRP RATE STEP SECONDS\n");
    return 2;
}
