// The Hamlib link's worker thread against a failing rigctld, for the tsan preset
// too; the window's tests drive the link with the dummy radio and rigctld.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "radiolink/radio_link_hamlib.hpp"
#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands in for the window: takes the link's events on the test's thread every
// tick period, keeping the radio's frequency as the link reports it.
class EventThread : public LinkListener {
  public:
    bool Until(HamlibLink& link, const std::function<bool()>& done, Clock::duration limit = 3s) {
        for (const auto deadline = Clock::now() + limit; !done() && Clock::now() < deadline;) {
            std::this_thread::sleep_for(50ms);
            link.DeliverEvents(*this);
        }
        return done();
    }
    void OnLinkOpened() override {}
    void OnLinkClosed() override {}
    void OnItemValue(LinkItem item, std::string text) override {
        if (item == LinkItem::Hertz) hertz = std::move(text);
    }

    std::string hertz;
};

// A real rigctld, or a rigctld-protocol peer in front of one, fails while a new
// frequency goes out at every tick, as a fast sweep sends them.
// A peer that trickles keeps a call waiting past any time-out of Hamlib's own:
// the link gives it up, and does not wait for it when it goes.
TEST(HamlibLink, ARadioThatStopsAnsweringClosesWithinTwoSecondsOneThatRefusesStaysOpen) {
    enum class Fault { Killed, Hung, Refusing, ReadingsNoFrequency, Trickling, TricklingAsItGoes };
    const std::pair<Fault, const char*> faults[] = {
        {Fault::Killed, "rigctld killed"},
        {Fault::Hung, "rigctld stopped: a hung radio"},
        {Fault::Refusing, "every frequency refused"},
        {Fault::ReadingsNoFrequency, "readings answered with nan"},
        {Fault::Trickling, "a byte every 0.3 s, never a line end"},
        {Fault::TricklingAsItGoes, "the same, and the link destroyed during a call"},
    };
    for (const auto& [fault, name] : faults) {
        SCOPED_TRACE(name);
        testing::RigctldProcess rigctld;
        std::optional<testing::RigctldProxy> proxy;
        if (fault != Fault::Killed && fault != Fault::Hung) proxy.emplace(rigctld);
        EventThread events;
        HamlibOptions options;
        options.model = 2;
        options.port = proxy ? proxy->address() : rigctld.address();
        auto link = std::make_unique<HamlibLink>(options, [] {});
        EXPECT_THROW(link->Execute("freq 2300000"), LinkFailure) << "accepted before it opened";
        ASSERT_TRUE(events.Until(*link, [&] { return events.hertz == "145000000"; }));
        EXPECT_THROW(link->Execute("mode USB"), LinkFailure);  // only "freq N" is a command
        if (fault == Fault::Killed) rigctld.Kill();
        if (fault == Fault::Hung) rigctld.Suspend();
        if (fault == Fault::Refusing) proxy->RefuseFrequencies();
        if (fault == Fault::ReadingsNoFrequency) proxy->AnswerFrequencyReadsWith("nan");
        if (fault == Fault::Trickling || fault == Fault::TricklingAsItGoes) proxy->Trickle();
        if (fault == Fault::TricklingAsItGoes) {
            link->Execute("freq 2100000");  // its answer never ends
            std::this_thread::sleep_for(100ms);
            const auto before = Clock::now();
            link.reset();
            EXPECT_LT(Clock::now() - before, 1500ms) << "the link waited for a call that hangs";
            continue;
        }
        const bool closes = fault != Fault::Refusing;  // a refusal is an answer
        std::int64_t hertz = 2'000'000;
        const bool closed = events.Until(
            *link,
            [&] {
                if (link->IsOpen()) link->Execute("freq " + std::to_string(hertz += 100'000));
                return !link->IsOpen();
            },
            closes ? 2s : 1500ms);
        EXPECT_EQ(closed, closes);
        if (fault == Fault::Hung) rigctld.Resume();
        // Commands the radio answers must not hide that its readings say nothing.
        if (fault == Fault::ReadingsNoFrequency) {
            EXPECT_NE(rigctld.Frequency(), 145'000'000) << "the commands did not reach the radio";
        }
    }
}

}  // namespace
}  // namespace morvane
