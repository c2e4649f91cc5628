// The real window driving a real rigctld while the radio side fails: rigctld
// killed, hung (SIGSTOP) and continued, restarted, refusing every frequency,
// answering reads with nonsense. Watched the way a user would notice trouble:
// does the window keep ticking, and does the status line tell the truth?
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"
#include "window/tests/window_watch.hpp"

using morvane::HamlibOptions;
using morvane::testing::RigctldProcess;
using morvane::testing::RigctldProxy;
using morvane::window_testing::Clock;
using morvane::window_testing::LargestGapMs;
using morvane::window_testing::MsBetween;
using morvane::window_testing::WatchedWindow;

namespace {

using namespace std::chrono_literals;

const QString kConnected = QString::fromUtf8(morvane::kConnectedStatus.data());
const QString kNotConnected = QString::fromUtf8(morvane::kNotConnectedStatus.data());

// The window must say so within 2 s of the loss; a tick may come one tick
// period late at most. The margins allow for a loaded machine and the sanitizers.
constexpr double kNotConnectedLimitMs = 2000;
constexpr double kTickGapLimitMs = 250;

HamlibOptions RigctldAt(const std::string& address) {
    HamlibOptions options;
    options.model = 2;
    options.port = address;
    return options;
}

enum class Fault { Killed, Hung, Hiccup, Restarted };

// What a user sees of the radio side from the moment it failed.
struct Outcome {
    double msToNotConnected = -1;        // -1: never said
    int connectedAfterNotConnected = 0;  // samples that went back to "Connected"
    double largestTickGapMs = 0;
};

Outcome OutcomeSince(const WatchedWindow& watched, Clock::time_point loss) {
    Outcome outcome;
    for (const auto& sample : watched.Samples()) {
        if (sample.at < loss) continue;
        if (outcome.msToNotConnected < 0 && sample.status == kNotConnected) {
            outcome.msToNotConnected = MsBetween(loss, sample.at);
        } else if (outcome.msToNotConnected >= 0 && sample.status == kConnected) {
            ++outcome.connectedAfterNotConnected;
        }
    }
    outcome.largestTickGapMs = LargestGapMs(watched.TickTimes(), loss);
    return outcome;
}

void Report(const char* what, const Outcome& outcome) {
    qInfo("%s: not connected after %.0f ms, largest tick gap %.0f ms", what,
          outcome.msToNotConnected, outcome.largestTickGapMs);
}

// A frequency as the window shows it in Text4: decimal hertz, nothing else.
bool IsHertzText(const QString& text) {
    return !text.isEmpty() && text.size() <= 12 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

}  // namespace

Q_DECLARE_METATYPE(Fault)

class LinkFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void faultShowsNotConnectedInTimeAndTheTicksGoOn_data();
    void faultShowsNotConnectedInTimeAndTheTicksGoOn();
    void refusingRadioStaysConnectedAndIsAskedEachStepOnce();
    void nonsenseFromTheRadioIsNeverShown_data();
    void nonsenseFromTheRadioIsNeverShown();
};

void LinkFaultsTest::faultShowsNotConnectedInTimeAndTheTicksGoOn_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("clockStepMs");
    QTest::addColumn<bool>("linkCloses");
    // The sweep runs six times as fast as time, so a new frequency goes out
    // every 170 ms or so; with the clock standing still, only readings do.
    QTest::newRow("rigctld killed") << Fault::Killed << 300 << true;
    QTest::newRow("rigctld stopped (a hung radio), continued 3 s later")
        << Fault::Hung << 300 << true;
    QTest::newRow("rigctld stopped while no frequency is sent, continued 3 s later")
        << Fault::Hung << 0 << true;
    QTest::newRow("rigctld stopped for 0.3 s: a hiccup, not a loss")
        << Fault::Hiccup << 300 << false;
    QTest::newRow("rigctld killed, a new one on the same port 3 s later")
        << Fault::Restarted << 300 << true;
}

// The fault strikes while the sweep keeps sending new frequencies; 5 s later
// the radio side is back (continued, restarted) or still gone.
void LinkFaultsTest::faultShowsNotConnectedInTimeAndTheTicksGoOn() {
    QFETCH(Fault, fault);
    QFETCH(int, clockStepMs);
    QFETCH(bool, linkCloses);
    RigctldProcess rigctld;
    WatchedWindow watched(RigctldAt(rigctld.address()), clockStepMs);
    QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), kConnected, 5000);
    QTest::qWait(500);
    const Clock::time_point loss = Clock::now();
    if (fault == Fault::Killed || fault == Fault::Restarted) rigctld.Kill();
    if (fault == Fault::Hung || fault == Fault::Hiccup) rigctld.Suspend();
    QTest::qWait(fault == Fault::Hiccup ? 300 : 3000);
    if (fault == Fault::Hung || fault == Fault::Hiccup) rigctld.Resume();
    if (fault == Fault::Restarted) {
        rigctld.Restart();
        QTRY_VERIFY_WITH_TIMEOUT(rigctld.Listening(), 5000);
    }
    QTest::qWait(2000);

    const Outcome outcome = OutcomeSince(watched, loss);
    Report(QTest::currentDataTag(), outcome);
    QVERIFY2(outcome.largestTickGapMs < kTickGapLimitMs, "the window stopped ticking");
    if (!linkCloses) {
        QCOMPARE(outcome.msToNotConnected, -1.0);
        // The radio, read back through the link, moves on: commands still arrive.
        const QString radioBefore = watched.Text("Text4");
        QTRY_VERIFY(watched.Text("Text4") != radioBefore);
        return;
    }
    QVERIFY(outcome.msToNotConnected >= 0);
    QVERIFY2(outcome.msToNotConnected < kNotConnectedLimitMs, "not connected came too late");
    QCOMPARE(outcome.connectedAfterNotConnected, 0);
    QCOMPARE(watched.Text("Text6"), QString::fromUtf8(morvane::kLinkDownMark.data()));
    QVERIFY2(watched.Control("status")->toolTip().endsWith("the radio stopped answering"),
             qPrintable(watched.Control("status")->toolTip()));
    // The link is never opened again, so a new rigctld hears nothing from it.
    if (fault == Fault::Restarted) QCOMPARE(rigctld.Frequency(), 145'000'000LL);
}

// A radio that will not go where it is sent still answers: the link stays up,
// and each step is asked for once and never again.
void LinkFaultsTest::refusingRadioStaysConnectedAndIsAskedEachStepOnce() {
    RigctldProcess rigctld;
    RigctldProxy radio(rigctld);
    WatchedWindow watched(RigctldAt(radio.address()));
    QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), kConnected, 5000);
    QSignalSpy handedOff(qobject_cast<QLineEdit*>(watched.Control("Text6")),
                         &QLineEdit::textChanged);
    radio.RefuseFrequencies();
    const Clock::time_point refusing = Clock::now();
    QTest::qWait(100);  // a command passed on just before may still be under way
    const long long radioBefore = rigctld.Frequency().value_or(0);
    QTest::qWait(4000);

    const Outcome outcome = OutcomeSince(watched, refusing);
    Report("refusing radio", outcome);
    QVERIFY2(outcome.largestTickGapMs < kTickGapLimitMs, "the window stopped ticking");
    QCOMPARE(outcome.msToNotConnected, -1.0);
    QCOMPARE(watched.Text("status"), kConnected);
    QCOMPARE(rigctld.Frequency().value_or(0), radioBefore);

    QStringList candidates;
    for (const QList<QVariant>& change : handedOff) candidates << change.first().toString();
    const std::vector<std::string> refused = radio.RefusedCommands();
    QVERIFY2(refused.size() >= 5, "the sweep should have asked for several steps");
    QStringList asked;
    for (const std::string& command : refused) {
        asked << QString::number(std::stoll(command.substr(2)));  // "F 2300000.000000"
    }
    asked.removeDuplicates();
    QCOMPARE(asked.size(), static_cast<qsizetype>(refused.size()));  // none asked twice
    for (const QString& hertz : asked) QVERIFY2(candidates.contains(hertz), qPrintable(hertz));
}

void LinkFaultsTest::nonsenseFromTheRadioIsNeverShown_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("not a number") << QByteArray("nan");
    QTest::newRow("infinite") << QByteArray("inf");
    QTest::newRow("beyond any 64-bit number") << QByteArray("1e300");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("a megabyte of digits") << QByteArray(1 << 20, '7');
    QTest::newRow("bytes that are not UTF-8") << QByteArray("\xff\xfe\xc3\x28\x80");
}

// A broken radio or a hostile peer answers frequency reads with nonsense. The
// window never shows it as the radio's frequency, and a radio that answers
// nothing else has in effect stopped answering.
void LinkFaultsTest::nonsenseFromTheRadioIsNeverShown() {
    QFETCH(QByteArray, answer);
    RigctldProcess rigctld;
    RigctldProxy radio(rigctld);
    WatchedWindow watched(RigctldAt(radio.address()));
    QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), kConnected, 5000);
    radio.AnswerFrequencyReadsWith(answer.toStdString());
    const Clock::time_point nonsense = Clock::now();
    QTest::qWait(2500);

    const Outcome outcome = OutcomeSince(watched, nonsense);
    Report(QTest::currentDataTag(), outcome);
    QVERIFY2(outcome.largestTickGapMs < kTickGapLimitMs, "the window stopped ticking");
    QVERIFY(outcome.msToNotConnected >= 0);
    QVERIFY2(outcome.msToNotConnected < kNotConnectedLimitMs, "not connected came too late");
    for (const auto& sample : watched.Samples()) {
        QVERIFY2(IsHertzText(sample.text4), qPrintable(sample.text4.left(40)));
    }
    for (const char* setting : {"Combo_period", "chirptime", "Combo_rate", "Combo_step"}) {
        QCOMPARE(watched.Text(setting), watched.InitialText(setting));
    }
}

QTEST_MAIN(LinkFaultsTest)
#include "tst_linkfaults.moc"
