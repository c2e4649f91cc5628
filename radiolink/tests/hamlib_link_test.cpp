// The Hamlib link's worker thread against a failing rigctld, for the tsan preset
// too; the window's tests show what the user sees of these faults.
#include <gtest/gtest.h>

#include "radiolink/radio_link_hamlib.hpp"
#include "testsupport/rigctld.hpp"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands in for the window, taking the link's events every tick period.
struct EventThread : LinkListener {
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
        if (item == LinkItem::Hertz) hertz.push_back(std::move(text));
    }
    std::vector<std::string> hertz;
};

enum class Fault { Nonsense, Trickling, GoneDuringATrickle };

// A peer in front of rigctld fails while a new frequency goes out at every tick. One that
// trickles keeps a call waiting past Hamlib's own time-outs: the link gives it up, and does
// not wait for it when it goes. The window's test has rigctld killed, hung or refusing.
TEST(HamlibLink, ARadioThatStopsAnsweringOrMakesNoSenseClosesAndLetsGo) {
    // Readings that make no sense, two at a time between good ones, which clear the
    // count of failed calls; commands the radio takes do not, so the last closes the link.
    std::vector<std::string> readings = {
        "nan", "1e300", "14074000", "-5", "\xff\xfe\xc3\x28\x80", "14075000"};
    readings.emplace_back(1 << 20, '7');
    for (const Fault fault : {Fault::Nonsense, Fault::Trickling, Fault::GoneDuringATrickle}) {
        SCOPED_TRACE(static_cast<int>(fault));
        testing::RigctldProcess rigctld;
        testing::RigctldProxy proxy(rigctld);
        EventThread events;
        auto link = std::make_unique<HamlibLink>(HamlibOptions{2, proxy.address(), 0, {}}, [] {});
        EXPECT_THROW(link->Execute("freq 2300000"), LinkFailure) << "accepted before it opened";
        ASSERT_TRUE(events.Until(*link, [&] { return !events.hertz.empty(); }));
        EXPECT_THROW(link->Execute("mode USB"), LinkFailure);  // only "freq N" goes to the radio
        fault == Fault::Nonsense ? proxy.AnswerFrequencyReadsWith(readings)
                                 : proxy.Play(testing::RigctldProxy::Mode::Trickling);
        if (fault == Fault::GoneDuringATrickle) {
            link->Execute("freq 2100000");  // its answer never ends
            std::this_thread::sleep_for(100ms);
            const auto before = Clock::now();
            link.reset();
            EXPECT_LT(Clock::now() - before, 1500ms) << "the link waited for a call that hangs";
            continue;
        }
        std::int64_t hertz = 2'000'000;
        EXPECT_TRUE(events.Until(*link, [&] {
            if (link->IsOpen()) link->Execute("freq " + std::to_string(hertz += 100'000));
            return !link->IsOpen();
        }));
        // Once closed, the link lets go of the peer: a call that trickles is cut short.
        EXPECT_TRUE(events.Until(
            *link, [&] { return !proxy.Serving(); }, 500ms));
        if (fault != Fault::Nonsense) continue;
        EXPECT_EQ(events.hertz, (std::vector<std::string>{"145000000", "14074000", "14075000"}));
    }
}

}  // namespace
}  // namespace morvane
