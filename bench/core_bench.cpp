// SPDX-License-Identifier: GPL-3.0-or-later
#include <benchmark/benchmark.h>

#include "radiolink/hand_off.hpp"
#include "tracking/step_candidate.hpp"
#include "tracking/tick.hpp"

namespace {

using namespace morvane;

// An open link that counts what it would send.
class CountingLink : public RadioLink {
  public:
    void Tune(std::int64_t) override { ++sent; }
    long sent = 0;
};

// One whole tick on a steady sweep position: the candidate is already sent.
void BM_Tick(benchmark::State& state) {
    MainFields fields;
    CountingLink link;
    LinkHandOff handOff(link);
    handOff.SetLinkUp(true);
    const ClockReading clock{12, 3, 55, 250};
    RunTick(fields, clock, ".", handOff);
    for (auto _ : state) {
        RunTick(fields, clock, ".", handOff);
        benchmark::DoNotOptimize(fields.Text6.data());
    }
    if (link.sent != 1) state.SkipWithError("the steady tick sent again");
}
BENCHMARK(BM_Tick);

// The hand-off alone, alternating between two candidates so that each call sends.
void BM_HandOffSending(benchmark::State& state) {
    MainFields fields;
    CountingLink link;
    LinkHandOff handOff(link);
    handOff.SetLinkUp(true);
    const std::string candidates[2] = {"12350000", "12400000"};
    std::size_t i = 0;
    for (auto _ : state) handOff.HandOffCandidate(fields, candidates[i++ & 1]);
    benchmark::DoNotOptimize(link.sent);
}
BENCHMARK(BM_HandOffSending);

void BM_Candidate(benchmark::State& state) {
    const std::int32_t frequency = 12'352'000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Candidate(frequency, "50", "."));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Candidate);

}  // namespace
