// SPDX-License-Identifier: GPL-3.0-or-later
// The Hamlib link's worker thread against a failing rigctld, for the tsan preset
// too; the window's tests show what the user sees of these faults.
#include <gtest/gtest.h>

#include <map>

#include "radiolink/radio_link_hamlib.hpp"
#include "testsupport/rigctld.hpp"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Mode = testing::RigctldProxy::Mode;

// Stands in for the window, taking the link's events every tick period.
struct EventThread : LinkListener {
    bool Until(HamlibLink& link, const std::function<bool()>& done, Clock::duration limit = 3s) {
        for (const auto deadline = Clock::now() + limit; !done() && Clock::now() < deadline;) {
            everyTick();
            std::this_thread::sleep_for(50ms);
            link.DeliverEvents(*this);
        }
        return done();
    }
    std::function<void()> everyTick = [] {};
    void OnLinkState(const LinkReport& report) override { states.push_back(report.state); }
    void OnItemValue(LinkItem item, std::string text) override {
        if (item == LinkItem::Hertz) hertz.push_back(std::move(text));
    }
    void OnTuneAnswer(const TuneAnswer& answer) override { answers.push_back(answer); }
    std::vector<LinkState> states;
    std::vector<std::string> hertz;
    std::vector<TuneAnswer> answers;
};

enum class Fault { Nonsense, Refusing, Failing, Late, Killed, Trickling };

struct Row {
    const char* name;
    Fault fault;
    int value;  // Refusing, Failing: the "RPRT" code; Late: how late every answer comes, in ms
    Clock::duration lasts;
    bool lost;            // lost meanwhile, and following the radio again within 3 s of the end
    const char* refusal;  // of every retune answered while it lasted; null: not checked
};

// Starts the row's fault, or with `ends`, ends it.
void Play(const Row& row, bool ends, testing::RigctldProcess& rigctld,
          testing::RigctldProxy& proxy) {
    // Readings that make no sense, two at a time between good ones, then for good.
    std::vector<std::string> nonsense = {
        "nan", "1e300", "14074000", "-5", "\xff\xfe\xc3\x28\x80", "14075000"};
    nonsense.emplace_back(1 << 20, '7');
    if (row.fault == Fault::Nonsense)
        proxy.AnswerFrequencyReadsWith(ends ? std::vector<std::string>{"14076000"} : nonsense);
    if (row.fault == Fault::Killed) ends ? rigctld.Restart() : rigctld.Kill();
    proxy.HoldAnswers(std::chrono::milliseconds(row.fault == Fault::Late && !ends ? row.value : 0));
    const Mode mode = row.fault == Fault::Refusing    ? Mode::Refusing
                      : row.fault == Fault::Failing   ? Mode::Failing
                      : row.fault == Fault::Trickling ? Mode::Trickling
                                                      : Mode::PassThrough;
    proxy.Play(ends ? Mode::PassThrough : mode, row.value);
}

// A peer fails while a new frequency goes out at every tick, then comes right. Late answers
// and refusals are answers; a radio that answers nothing, or only errors, for long is lost
// and opened again. The link does not wait for a call that trickles on when it goes.
TEST(HamlibLink, FollowsARadioThroughItsFaultsAndComesBack) {
    const Row rows[] = {
        // What a megabyte of digits leaves in Hamlib's buffer may be read as a retune's reply.
        {"readings that make no sense", Fault::Nonsense, 0, 5s, true, nullptr},
        {"every F refused with RPRT -1", Fault::Refusing, -1, 1s, false, "invalid parameter"},
        {"every answer 700 ms late", Fault::Late, 700, 2s, false, ""},
        {"every answer 900 ms late", Fault::Late, 900, 2s, false, ""},
        {"RPRT -5 to all for 0.25 s", Fault::Failing, -5, 250ms, false, "no answer"},
        {"RPRT -5 to all for 3 s", Fault::Failing, -5, 3s, true, "no answer"},
        {"rigctld killed, restarted 3 s later", Fault::Killed, 0, 3s, true, nullptr},
        {"a byte every 0.3 s, never a line end", Fault::Trickling, 0, 2500ms, true, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::RigctldProcess rigctld;
        testing::RigctldProxy proxy(rigctld);
        const std::string peer = row.fault == Fault::Killed ? rigctld.address() : proxy.address();
        auto link = std::make_unique<HamlibLink>(HamlibOptions{2, peer, 0, {}}, [] {});
        EventThread events;
        ASSERT_TRUE(events.Until(*link, [&] { return !events.hertz.empty(); }));
        std::map<std::int64_t, Clock::time_point> asked;  // when each frequency was tuned to
        events.everyTick = [&, hertz = std::int64_t{2'000'000}]() mutable {
            asked[hertz += 100'000] = Clock::now();  // before: a refusal may come back at once
            link->Tune(hertz);
        };
        Play(row, false, rigctld, proxy);
        const auto faultEnds = Clock::now() + row.lasts;
        events.Until(
            *link, [&] { return Clock::now() >= faultEnds; }, row.lasts + 1s);
        // A lost radio's connection is let go of, even in the middle of a call, and a new one made.
        EXPECT_EQ(proxy.Clients() > 1, row.lost && row.fault != Fault::Killed);
        if (row.fault == Fault::Trickling) {  // the link goes while it opens into the trickle
            const auto before = Clock::now();
            link.reset();
            EXPECT_LT(Clock::now() - before, 1s) << "the link waited for a call that hangs";
            continue;
        }
        Play(row, true, rigctld, proxy);
        const auto ended = Clock::now();
        const std::size_t readBefore = events.hertz.size();
        EXPECT_TRUE(events.Until(*link, [&] {
            const bool taken = !events.answers.empty() && events.answers.back().accepted &&
                               events.answers.back().at > ended;
            return taken && events.hertz.size() > readBefore &&
                   events.states.back() == LinkState::Connected;
        })) << "not following the radio again within 3 s";
        EXPECT_EQ(events.states.size() > 1, row.lost);
        for (std::size_t i = 0; i < events.states.size(); ++i)  // lost while reopened, not waiting
            EXPECT_EQ(events.states[i], i % 2 ? LinkState::Lost : LinkState::Connected);
        int answeredWhileFaulty = 0;
        for (const TuneAnswer& answer : events.answers) {
            if (answer.at >= ended || !row.refusal) continue;
            ++answeredWhileFaulty;
            EXPECT_EQ(answer.refusal, row.refusal);
            EXPECT_EQ(answer.accepted, answer.refusal.empty());
            const auto late = std::chrono::milliseconds(row.fault == Fault::Late ? row.value : 0);
            const auto took = answer.at - asked.at(answer.hertz);  // a reading may go first
            EXPECT_TRUE(took >= late && took < 2 * late + 300ms) << took / 1ms << " ms";
        }
        EXPECT_TRUE(answeredWhileFaulty > 0 || !row.refusal);
        if (row.fault != Fault::Nonsense) continue;
        EXPECT_EQ(events.hertz,
                  (std::vector<std::string>{"145000000", "14074000", "14075000", "14076000"}));
    }
}

}  // namespace
}  // namespace morvane
