#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "radiolink/hand_off.hpp"
#include "radiolink/radio_link_hamlib.hpp"
#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands in for the window: takes the link's events on the test's thread
// whenever the link wakes it, and keeps the field set they change.
class EventThread : public LinkListener {
  public:
    std::function<void()> Wake() {
        return [this] {
            {
                std::lock_guard lock(mutex_);
                woken_ = true;
            }
            wakeup_.notify_one();
        };
    }
    // Delivers events until `done` holds or `limit` passes; returns `done`.
    bool Until(HamlibLink& link, const std::function<bool()>& done, Clock::duration limit = 3s) {
        const auto deadline = Clock::now() + limit;
        while (!done() && Clock::now() < deadline) {
            std::unique_lock lock(mutex_);
            wakeup_.wait_until(lock, std::min(deadline, Clock::now() + 50ms),
                               [this] { return woken_; });
            woken_ = false;
            lock.unlock();
            link.DeliverEvents(*this);
        }
        return done();
    }
    void OnLinkOpened() override {
        ++opened;
        LinkOpened(fields);
    }
    void OnLinkClosed() override {
        ++closed;
        LinkClosed(fields);
    }
    void OnItemValue(LinkItem item, std::string text) override {
        ItemValueArrived(fields, item, std::move(text));
    }

    MainFields fields;
    int opened = 0;
    int closed = 0;

  private:
    std::mutex mutex_;
    std::condition_variable wakeup_;
    bool woken_ = false;
};

class DummyRadio : public ::testing::Test {
  protected:
    EventThread events;
    HamlibLink link{HamlibOptions{}, events.Wake()};
};

TEST_F(DummyRadio, OpensAndMirrorsItsFrequencyInBothFormats) {
    ASSERT_TRUE(events.Until(link, [&] { return events.fields.Text4 == "145000000"; }));
    EXPECT_EQ(events.opened, 1);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(events.fields.text2, "145.000.000");
    EXPECT_EQ(events.fields.status, kConnectedStatus);
    EXPECT_NE(link.Description().find("Dummy (model 1)"), std::string::npos) << link.Description();
}

TEST_F(DummyRadio, FreqCommandRetunesTheRadio) {
    ASSERT_TRUE(events.Until(link, [&] { return link.IsOpen(); })) << link.Description();
    link.Execute("freq 2300000");
    ASSERT_TRUE(events.Until(link, [&] { return events.fields.Text4 == "2300000"; }));
    EXPECT_EQ(events.fields.text2, "2.300.000");
}

TEST_F(DummyRadio, RefusesEveryOtherCommandText) {
    EXPECT_THROW(link.Execute("freq 2300000"), LinkFailure) << "accepted before the radio opened";
    ASSERT_TRUE(events.Until(link, [&] { return link.IsOpen(); })) << link.Description();
    for (const char* bad : {"freq ", "freq 2.3", "FREQ 2300000", "mode USB", "freq 2300000\r\n"}) {
        EXPECT_THROW(link.Execute(bad), LinkFailure) << bad;
    }
}

TEST(HamlibLink, AModelHamlibDoesNotKnowNeverOpens) {
    EventThread events;
    HamlibOptions options;
    options.model = 999'999;
    HamlibLink link(options, events.Wake());
    ASSERT_TRUE(events.Until(link, [&] { return events.closed == 1; }));
    EXPECT_EQ(events.opened, 0);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_NE(link.Description().find("no radio model 999999"), std::string::npos);
}

// The whole chain against a real rigctld: tick, hand-off, NET rigctl, radio.
class RealRigctld : public ::testing::Test {
  protected:
    HamlibOptions Options() {
        HamlibOptions options;
        options.model = 2;
        options.port = rigctld.address();
        return options;
    }
    // Runs one tick at `ms` past midnight and takes the link's events, as the window does.
    void Tick(HamlibLink& link, LinkHandOff& handOff, std::int64_t ms) {
        const ClockReading clock{static_cast<int>(ms / 3'600'000),
                                 static_cast<int>(ms / 60'000 % 60),
                                 static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000)};
        RunTick(events.fields, clock, ".", handOff);
        link.DeliverEvents(events);
    }
    bool RadioReaches(long long hertz) {
        for (auto deadline = Clock::now() + 2s; Clock::now() < deadline;
             std::this_thread::sleep_for(20ms)) {
            if (rigctld.Frequency() == hertz) return true;
        }
        return false;
    }

    testing::RigctldProcess rigctld;
    EventThread events;
};

TEST_F(RealRigctld, TheTicksCommandsRetuneTheRadio) {
    HamlibLink link(Options(), events.Wake());
    LinkHandOff handOff(link);
    ASSERT_TRUE(events.Until(link, [&] { return link.IsOpen(); })) << link.Description();
    Tick(link, handOff, 240'000);  // 00:04:00.000: the sweep is still below the band
    EXPECT_TRUE(RadioReaches(2'000'000));
    Tick(link, handOff, 260'000);  // 25.1 s into the sweep at 100 kHz/s
    EXPECT_TRUE(RadioReaches(2'500'000));
    EXPECT_EQ(events.fields.Text6, "2500000");
    EXPECT_TRUE(events.Until(link, [&] { return events.fields.Text4 == "2500000"; }));
}

TEST_F(RealRigctld, ARadioThatGoesAwayShowsNotConnectedWithinTwoSeconds) {
    HamlibLink link(Options(), events.Wake());
    LinkHandOff handOff(link);
    ASSERT_TRUE(events.Until(link, [&] { return link.IsOpen(); })) << link.Description();
    rigctld.Kill();
    EXPECT_TRUE(events.Until(
        link, [&] { return events.closed == 1; }, 2s));
    Tick(link, handOff, 240'000);
    EXPECT_EQ(events.fields.status, kNotConnectedStatus);
    EXPECT_EQ(events.fields.text2Background, kNotConnectedColour);
    EXPECT_EQ(events.fields.Text6, kLinkDownMark);
}

TEST_F(RealRigctld, AHungRadioNeverHoldsUpATick) {
    HamlibLink link(Options(), events.Wake());
    LinkHandOff handOff(link);
    ASSERT_TRUE(events.Until(link, [&] { return link.IsOpen(); })) << link.Description();
    rigctld.Suspend();
    Clock::duration longestTick{};
    // 2.5 s of ticks across the sweep, so that new commands keep going to the hung radio.
    for (std::int64_t ms = 260'000; ms < 262'500; ms += 50) {
        const auto start = Clock::now();
        Tick(link, handOff, ms);
        longestTick = std::max(longestTick, Clock::now() - start);
        std::this_thread::sleep_until(start + 50ms);
    }
    rigctld.Resume();
    EXPECT_LT(longestTick, 50ms) << "a tick waited for the radio";
    EXPECT_EQ(events.closed, 1) << "a radio that stopped answering still counts as connected";
    EXPECT_EQ(events.fields.status, kNotConnectedStatus);
}

// The radio behind a rigctld-protocol peer that refuses or answers nonsense;
// a new frequency goes out at every turn, as a fast sweep sends them.
class FaultyRadio : public RealRigctld {
  protected:
    HamlibOptions ThroughProxy() {
        HamlibOptions options = Options();
        options.port = radio.address();
        return options;
    }
    bool UntilWhileSending(HamlibLink& link, const std::function<bool()>& done,
                           Clock::duration limit) {
        return events.Until(
            link,
            [&] {
                if (link.IsOpen()) link.Execute("freq " + std::to_string(hertz += 100'000));
                return done();
            },
            limit);
    }

    testing::RigctldProxy radio{rigctld};
    std::int64_t hertz = 2'000'000;
};

TEST_F(FaultyRadio, RefusedCommandsAreAnswersAndKeepTheLinkOpen) {
    HamlibLink link(ThroughProxy(), events.Wake());
    ASSERT_TRUE(events.Until(link, [&] { return events.fields.Text4 == "145000000"; }));
    radio.RefuseFrequencies();
    UntilWhileSending(
        link, [] { return false; }, 1500ms);
    EXPECT_EQ(events.closed, 0);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_GE(radio.RefusedCommands().size(), 10u);
    EXPECT_EQ(rigctld.Frequency(), 145'000'000);
}

// Commands it answers must not hide that its readings say nothing.
TEST_F(FaultyRadio, ReadingsThatAreNoFrequencyCloseTheLinkWhileCommandsAreAnswered) {
    HamlibLink link(ThroughProxy(), events.Wake());
    ASSERT_TRUE(events.Until(link, [&] { return events.fields.Text4 == "145000000"; }));
    radio.AnswerFrequencyReadsWith("nan");
    EXPECT_TRUE(UntilWhileSending(
        link, [&] { return events.closed == 1; }, 2s));
    EXPECT_EQ(events.fields.Text4, "145000000");  // the last frequency the radio did report
    EXPECT_NE(rigctld.Frequency(), 145'000'000) << "the commands did reach the radio";
}

}  // namespace
}  // namespace morvane
