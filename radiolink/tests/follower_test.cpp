// SPDX-License-Identifier: GPL-3.0-or-later
// The follower with a clock the test sets and a link that records each retune
// and answers it as the test says: what is sent when, which steps count as on
// time, and what the window is told to show.
#include "radiolink/follower.hpp"

#include <gtest/gtest.h>

#include <numeric>

#include "testsupport/core_checks.hpp"

namespace morvane {
namespace {

using Commands = std::vector<std::string>;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

// 235 s into the day's 300 s period the sweep begins: ctime 0 at 00:03:54.900 (the lead).
constexpr std::int64_t kSweepBeginsMs = 234'900;
// 2026-12-07 00:00 UTC, in ms since 1970: the harness's clock reads that day.
constexpr std::int64_t kDayBeganUtcMs = 1'796'601'600'000;

struct Answers {
    int afterMs = 1;
    bool accepted = true;
    bool answered = true;  // false: every call ends with no answer
};

// A follower over a recording link whose clocks the test moves; the link
// answers each retune as `answers` says.
class Harness {
  public:
    explicit Harness(MainFields fields, ColourScheme colours = ColourScheme::WithAmber,
                     bool meterRead = false)
        : follower_(std::move(fields), link_,
                    {[this] { return testing::ClockAt(nowMs_); },
                     [this] { return SteadyTime(milliseconds(nowMs_)); },
                     [] { return std::nullopt; }, [this] { return kDayBeganUtcMs + nowMs_; }},
                    {".", colours, TickTiming::SweepLocked,
                     {LinkState::Waiting, "Not connected", "waiting"}, meterRead}) {
        follower_.OnLinkState({LinkState::Connected, "Connected", "the radio"});
    }
    // Ticks from `fromCtime` until `untilCtime`, each where the last armed it,
    // the one armed for `lateCtime` `lateMs` late.
    FollowerView Run(std::int64_t fromCtime, std::int64_t untilCtime, std::int64_t lateCtime = -1,
                     int lateMs = 0) {
        FollowerView view;
        for (nowMs_ = kSweepBeginsMs + fromCtime; nowMs_ < kSweepBeginsMs + untilCtime;) {
            if (nowMs_ - kSweepBeginsMs == lateCtime) nowMs_ += lateMs;
            view = Tick();
            nowMs_ += view.nextTickMs;
        }
        return view;
    }
    FollowerView Tick() {
        const std::size_t sent = link_.commands.size();
        FollowerView view = follower_.Tick();
        for (std::size_t i = sent; i < link_.commands.size(); ++i) {
            const std::int64_t hertz = std::stoll(link_.commands[i].substr(5));
            follower_.OnTuneAnswer({hertz, answers.accepted,
                                    SteadyTime(milliseconds(nowMs_ + answers.afterMs)),
                                    answers.accepted ? "" : "Invalid parameter", answers.answered});
        }
        // The meter, read as planned, reports before the step is judged.
        for (; heard < link_.plans.size(); ++heard)
            follower_.OnMeterReading({link_.plans[heard].first, -40.0, -10.0, 3});
        return view;
    }
    void SetNow(std::int64_t ctime) { nowMs_ = kSweepBeginsMs + ctime; }

    Answers answers;
    testing::RecordingLink link_;
    Follower follower_;

  private:
    std::int64_t nowMs_ = 0;
    std::size_t heard = 0;  // the plans whose readings were reported
};

MainFields Sweep(const char* rate, const char* step, const char* chirp = "235") {
    MainFields fields;
    fields.Combo_rate = rate;
    fields.Combo_step = step;
    fields.chirptime = chirp;
    return fields;
}

// At 500 kHz/s a 50 kHz step window lasts 20 ms: 2.6 MHz from ctime 5 200 to 5 220.
// A tick armed for 5 201 that fires late still sends it while the retune can reach
// the radio ahead of the sweep (the 100 ms lead, less the radio's 1 ms answer),
// and once only; the readouts show when it ran.
TEST(Follower, ALateTickStillSendsTheWindowItWasArmedForWhileItCanReachTheRadio) {
    const std::pair<int, bool> rows[] = {{0, true}, {10, true}, {40, true}, {90, true}, {120, false}};
    for (const auto& [lateMs, sent] : rows) {
        SCOPED_TRACE(lateMs);
        Harness h(Sweep("500", "50"));
        h.Run(4'000, 5'450, 5'201, lateMs);
        const Commands& c = h.link_.commands;
        EXPECT_EQ(std::count(c.begin(), c.end(), "freq 2600000"), sent ? 1 : 0);
        EXPECT_EQ(std::count(c.begin(), c.end(), "freq 2700000"), 1);
    }
}

// The chirp time edited from 235 to 235.002 just before the tick at ctime 5 201:
// the ticks fall to 5 199, and the next may not clamp past the 2.6 MHz window.
// A clock that stands still gets at most 40 ticks a second.
TEST(Follower, AMovedPhaseCatchesTheNextWindowAndAFrozenClockTicksAtMost40TimesASecond) {
    Harness h(Sweep("500", "50"));
    h.Run(4'000, 5'200);
    h.follower_.fields().chirptime = "235.002";
    h.Run(5'201, 5'400);
    EXPECT_EQ(std::count(h.link_.commands.begin(), h.link_.commands.end(), "freq 2600000"), 1);
    h.SetNow(5'199);
    int spentMs = 0;
    for (int tick = 0; tick < 40; ++tick) spentMs += h.Tick().nextTickMs;
    EXPECT_GE(spentMs, 975);
}

// What happens between the ticks, the link and the user; the default settings
// give 2 MHz at ctime 5 100 and 2.1 MHz at 21 100.
enum class Event { Tick2000, Tick2100, Text4Empty, Text4Back, TypeText6, Lost, Reconnected };
struct Conversation {
    const char* name;
    std::vector<Event> events;
    Commands sent;
    const char* text6;
    Colour colour;
};

TEST(Follower, SendsEachStepOnceWhileConnectedAndTheStepTheSweepIsOnOnceBackAfterAnOutage) {
    using enum Event;
    const Colour green = kConnectedColour, red = kNotConnectedColour;
    const Commands twice = {"freq 2000000", "freq 2000000"};
    const Conversation conversations[] = {
        {"each new step once", {Tick2000, Tick2000, Tick2100, Tick2100},
         {"freq 2000000", "freq 2100000"}, "2100000", green},
        {"Text4 empties: not connected, nowt", {Tick2000, Text4Empty, Tick2000},
         {"freq 2000000"}, "nowt", red},
        {"after an outage the same step goes again",
         {Tick2000, Text4Empty, Tick2000, Text4Back, Tick2000}, twice, "2000000", green},
        {"what the user types into Text6 counts", {TypeText6, Tick2000}, {}, "2000000", green},
        {"lost: not connected at once, nowt", {Tick2000, Lost}, {"freq 2000000"}, "nowt", red},
        {"a lost link sends nothing", {Tick2000, Lost, Tick2100}, {"freq 2000000"}, "nowt", red},
        {"reconnected: the step the sweep is on goes again",
         {Tick2000, Lost, Reconnected, Tick2000}, twice, "2000000", green},
    };
    for (const Conversation& c : conversations) {
        SCOPED_TRACE(c.name);
        Harness h(MainFields{});
        MainFields& fields = h.follower_.fields();
        for (const Event event : c.events) {
            if (event == Tick2000 || event == Tick2100) h.SetNow(event == Tick2000 ? 5'100 : 21'100);
            if (event == Tick2000 || event == Tick2100) h.Tick();
            if (event == Text4Empty || event == Text4Back)
                h.follower_.OnItemValue(LinkItem::Hertz, event == Text4Empty ? "" : "2000000");
            if (event == TypeText6) fields.Text6 = "2000000";
            if (event == Lost) h.follower_.OnLinkState({LinkState::Lost, "Not connected", "lost"});
            if (event == Reconnected) h.follower_.OnLinkState({LinkState::Connected, "Connected", ""});
        }
        EXPECT_EQ(h.link_.commands, c.sent);
        EXPECT_EQ(fields.Text6, c.text6);
        EXPECT_EQ(fields.text2Background, c.colour);
        EXPECT_EQ(fields.status.starts_with("Connected"), c.colour == green);
    }
}

struct OnTimeRow {
    const char* what;
    MainFields fields;
    Answers answers;
    ColourScheme colours;
    const char* count;  // after the sweep has run from 19 s to 30 s, or as the row says
    Colour colour;
    const char* status;
    const char* tip = "";  // more that the status line's tooltip says
    std::int64_t fromCtime = 19'000, untilCtime = 30'000;
};

// A step is on time when the radio took its retune before the chirp reached the
// passband (300 Hz above it) and kept it until the chirp had passed (2 700 Hz).
TEST(Follower, CountsTheStepsTheRadioWasOnTimeForAndColoursTheBoxByTheLatest) {
    const std::string replaced = "Each step is replaced by the next before its chirp has passed; "
                                 "a larger step or a slower rate would be heard";
    const OnTimeRow rows[] = {
        {"100/100, answered in 1 ms", Sweep("100", "100"), {}, ColourScheme::WithAmber,
         "on time for 10 of 10 steps", kConnectedColour, "Connected", "steps; sweep at 3.0 MHz"},
        // The sweep leaves 2 MHz 20 s in: 14.95 s to go reads as 15.
        {"100/100, waiting at 2 MHz", Sweep("100", "100"), {}, ColourScheme::WithAmber,
         "on time for 0 of 0 steps", kConnectedColour, "Connected", "steps; sweep in 0:15", 5'000,
         5'150},
        // Past 16 MHz at 500 kHz/s the next sweep is at 2 MHz 304 s after this one began.
        // The top step's window closes as it opens, and its passband lies past
        // the top: no step to be on time for, and no alarm while the radio waits.
        {"500/100, waiting past the top", Sweep("500", "100"), {}, ColourScheme::WithAmber,
         "on time for 10 of 140 steps", kConnectedColour, "Connected", "steps; sweep in 4:25",
         30'000, 40'000},
        // 2 MHz was sent while the receiver waited, more than a second ahead.
        // Marked in the window, and followed as set: past 235 s the same sweep.
        {"chirp time 535 in a 300 s period", [] { MainFields f; f.chirptime = "535"; return f; }(),
         {}, ColourScheme::WithAmber, "on time for 10 of 10 steps", kConnectedColour,
         "Connected"},
        {"100/100, answered in 700 ms", Sweep("100", "100"), {700}, ColourScheme::WithAmber,
         "on time for 1 of 10 steps", kLateColour,
         "The radio answers in about 700 ms; each step is sent 100 ms ahead, so it arrives "
         "after the chirp"},
        {"500/50: the next step leaves 1 ms after the chirp reaches this one",
         Sweep("500", "50"), {}, ColourScheme::WithAmber, "on time for 0 of 259 steps",
         kLateColour, replaced.c_str()},
        {"every retune refused", Sweep("100", "100"), {1, false}, ColourScheme::WithAmber,
         "on time for 0 of 10 steps", kLateColour,
         "The radio refuses the frequency: Invalid parameter"},
        {"no answer at all: late, not refused", Sweep("100", "100"), {1, false, false},
         ColourScheme::WithAmber, "on time for 0 of 10 steps", kLateColour,
         "The radio did not answer the retune before the chirp"},
        {"refused, in the system's two colours", Sweep("100", "100"), {1, false},
         ColourScheme::TwoColours, "on time for 0 of 10 steps", kNotConnectedColour,
         "Not connected, Start Morvane before HamRadioDeluxe", "not connected: the radio refuses"},
        {"chirp time \"abc\", in the two colours", Sweep("100", "100", "abc"), {},
         ColourScheme::TwoColours,
         "on time for 0 of 0 steps", kNotConnectedColour,
         "Not connected, Start Morvane before HamRadioDeluxe",
         "Not following: the chirp time is not a number"},
        {"answered late, in the two colours", Sweep("100", "100"), {700},
         ColourScheme::TwoColours, "on time for 1 of 10 steps", kConnectedColour, "Connected"},
        // 2 MHz, sent while the receiver waits past the top, is the next sweep's step.
        {"500/100 on into the next period", Sweep("500", "100"), {}, ColourScheme::WithAmber,
         "on time for 5 of 5 steps", kConnectedColour, "Connected", "", 30'000, 305'000},
    };
    for (const OnTimeRow& row : rows) {
        SCOPED_TRACE(row.what);
        Harness h(row.fields, row.colours);
        h.answers = row.answers;
        const FollowerView view = h.Run(row.fromCtime, row.untilCtime);
        EXPECT_EQ(view.stepCount, row.count);
        EXPECT_EQ(h.follower_.fields().text2Background, row.colour);
        EXPECT_EQ(h.follower_.fields().status, row.status);
        EXPECT_NE(view.statusTip.find(row.count), std::string::npos);
        EXPECT_NE(view.statusTip.find(row.tip), std::string::npos) << view.statusTip;
    }
}

struct MeterRow {
    const char* what;
    MainFields fields;
    RadioMode mode;
    int answerMs;  // how long the radio takes to answer a retune
    bool meter;    // false: the radio has no meter to read
    // The first step's plan, from when the sweep reaches it, in µs: the clock
    // unknown, 20 ms either way; the longest path 40 ms. All 0: no plan.
    std::int64_t floorBy, peakFrom, leaveBy;
    int logged, onTime, withLevels;  // the steps logged from 2 to 3 MHz
};

// Each step sent gets a plan that reads the floor before the chirp can arrive
// and the peak once the longest path has carried it past, clear of the next
// retune; each step is logged once judged, with levels only when the radio
// was on it in time, and timed by when the sweep reached it.
TEST(Follower, PlansTheMeterAroundEachStepAndLogsWhatTheRadioHeard) {
    const MeterRow rows[] = {
        {"100/100 in USB", Sweep("100", "100"), {"USB", 2400}, 1, true, 3'000 - 20'000,
         27'000 + 60'000, 900'000, 11, 11, 11},
        {"100/100 in LSB: heard before the sweep reaches the step", Sweep("100", "100"),
         {"LSB", 2400}, 1, true, -27'000 - 20'000, -3'000 + 60'000, 900'000, 11, 11, 11},
        // LSB hears the chirp 27 to 3 ms before the sweep reaches the step: a radio
        // that takes its retune 20 ms before that is on time in USB, not in LSB.
        // Only 2 MHz, sent 200 ms ahead while the receiver waited there, is.
        {"100/100 in LSB, answered in 80 ms: late", Sweep("100", "100"), {"LSB", 2400}, 80, true,
         -27'000 - 20'000, -3'000 + 60'000, 900'000, 11, 1, 1},
        {"100/100 in USB, answered in 80 ms", Sweep("100", "100"), {"USB", 2400}, 80, true,
         3'000 - 20'000, 27'000 + 60'000, 900'000, 11, 11, 11},
        {"125/100 in AM, 6 kHz wide", Sweep("125", "100"), {"AM", 6000}, 1, true,
         -24'000 - 20'000, 24'000 + 60'000, 700'000, 11, 11, 11},
        // The next retune leaves as the sweep reaches the step: no peak to read, no reads.
        {"500/50: replaced before its chirp passes", Sweep("500", "50"), {"USB", 2400}, 1, true,
         0, 0, 0, 21, 0, 0},
        {"answered in 700 ms: late, read but logged without levels", Sweep("100", "100"),
         {"USB", 2400}, 700, true, 3'000 - 20'000, 27'000 + 60'000, 900'000, 11, 0, 0},
        {"no meter to read", Sweep("100", "100"), {"USB", 2400}, 1, false, 0, 0, 0, 11, 11, 0},
    };
    for (const MeterRow& row : rows) {
        SCOPED_TRACE(row.what);
        Harness h(row.fields, ColourScheme::WithAmber, true);
        h.answers.afterMs = row.answerMs;
        h.follower_.OnRadioMode(row.mode);
        if (!row.meter) h.follower_.OnMeterMissing("no meter");
        const std::int64_t rate = std::stoll(row.fields.Combo_rate);
        h.Run(2'000'000 / rate - 100, 3'000'000 / rate + 200);
        const std::vector<HeardStep> logged = h.follower_.TakeHeardSteps();
        const auto count = [&](auto having) { return std::count_if(logged.begin(), logged.end(), having); };
        EXPECT_EQ(std::ssize(logged), row.logged);
        EXPECT_EQ(count([](const HeardStep& s) { return s.onTime; }), row.onTime);
        EXPECT_EQ(count([](const HeardStep& s) { return s.floorDb && s.peakDb; }), row.withLevels);
        const bool planned = row.leaveBy != 0;
        ASSERT_EQ(h.link_.plans.empty(), !planned);
        if (!planned) continue;
        // 2 MHz: 2 000 000 / rate ms after the sweep began, 100 ms after ctime 0.
        const std::int64_t reachedMs = kSweepBeginsMs + 100 + 2'000'000 / rate;
        EXPECT_EQ(logged.front().reachedUtcMs, kDayBeganUtcMs + reachedMs);
        EXPECT_EQ(logged.front().mode, row.mode.mode);
        const MeterPlan& plan = h.link_.plans.front().second;
        const SteadyTime reachedAt{milliseconds(reachedMs)};
        EXPECT_EQ((plan.floorBy - reachedAt) / 1us, row.floorBy);
        EXPECT_EQ((plan.peakFrom - reachedAt) / 1us, row.peakFrom);
        EXPECT_EQ((plan.leaveBy - reachedAt) / 1us, row.leaveBy);
    }
}

}  // namespace
}  // namespace morvane
