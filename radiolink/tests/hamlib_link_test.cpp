// The Hamlib link's worker thread against a failing rigctld, for the tsan preset
// too; the window's tests drive the link with the dummy radio and rigctld.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
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
TEST(HamlibLink, ARadioThatStopsAnsweringClosesWithinTwoSecondsOneThatRefusesStaysOpen) {
    enum class Fault { Killed, Hung, Refusing, ReadingsNoFrequency };
    const std::pair<Fault, const char*> faults[] = {
        {Fault::Killed, "rigctld killed"},
        {Fault::Hung, "rigctld stopped: a hung radio"},
        {Fault::Refusing, "every frequency refused"},
        {Fault::ReadingsNoFrequency, "readings answered with nan"},
    };
    for (const auto& [fault, name] : faults) {
        SCOPED_TRACE(name);
        testing::RigctldProcess rigctld;
        std::optional<testing::RigctldProxy> proxy;
        if (fault == Fault::Refusing || fault == Fault::ReadingsNoFrequency) proxy.emplace(rigctld);
        EventThread events;
        HamlibOptions options;
        options.model = 2;
        options.port = proxy ? proxy->address() : rigctld.address();
        HamlibLink link(options, [] {});
        EXPECT_THROW(link.Execute("freq 2300000"), LinkFailure) << "accepted before it opened";
        ASSERT_TRUE(events.Until(link, [&] { return events.hertz == "145000000"; }));
        EXPECT_THROW(link.Execute("mode USB"), LinkFailure);  // only "freq N" is a command
        if (fault == Fault::Killed) rigctld.Kill();
        if (fault == Fault::Hung) rigctld.Suspend();
        if (fault == Fault::Refusing) proxy->RefuseFrequencies();
        if (fault == Fault::ReadingsNoFrequency) proxy->AnswerFrequencyReadsWith("nan");
        const bool closes = fault != Fault::Refusing;  // a refusal is an answer
        std::int64_t hertz = 2'000'000;
        const bool closed = events.Until(
            link,
            [&] {
                if (link.IsOpen()) link.Execute("freq " + std::to_string(hertz += 100'000));
                return !link.IsOpen();
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
