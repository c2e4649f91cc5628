// The real window driving a real rigctld while the radio side fails: rigctld
// started late, hung (SIGSTOP) and continued, killed and restarted, refusing
// every frequency, answering reads with nonsense or trickling. Watched the way
// a user would notice trouble: does the window keep ticking, and does the
// status line tell the truth?
#include <QtTest>
#include <optional>

#include "radiolink/hand_off.hpp"
#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"
#include "testsupport/window_watch.hpp"

using morvane::testing::Clock;
using morvane::testing::MsBetween;
using morvane::testing::RigctldProcess;
using morvane::testing::RigctldProxy;
using morvane::testing::SteppingClock;
using morvane::testing::WatchedWindow;

namespace {

enum class Fault { LateStart, Hung, Restarted, Refusing, Nonsense, Trickling };

// A fault, how long it lasts before the radio side is back (started,
// continued, restarted) or left as it is, and whether the link must close.
struct Case {
    const char* name;
    Fault fault;
    int lastsMs;
    bool closes;
    int clockStepMs = 300;    // the sweep six times as fast: a new frequency every 170 ms or so
    QByteArray reading = {};  // Nonsense: the answer to every frequency read
};

const QString kStoppedAnswering =
    "Not connected: the radio stopped answering; restart Morvane once it is back";

// rigctld starts `lateMs` after the window, which waits for it, connects within
// 3 s and sends the step the sweep is on: with the clock standing, the only
// command. The ticks go on all the while.
void StartLate(WatchedWindow& watched, RigctldProcess& rigctld, const QString& connected,
               int lateMs) {
    const Clock::time_point opened = Clock::now();
    QTest::qWait(lateMs);
    QVERIFY2(watched.Text("status").startsWith("Not connected: waiting for rigctld at "),
             qPrintable(watched.Text("status")));
    rigctld.Restart();
    const Clock::time_point started = Clock::now();
    QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), connected, 5000);
    const double msToConnected = MsBetween(started, Clock::now());
    QTRY_COMPARE(rigctld.Frequency().value_or(0), 2'000'000LL);
    QCOMPARE(watched.Text("Text6"), "2000000");
    const double withoutTickMs = watched.LongestWithoutTickMsAfter(opened);
    qInfo("connected %.0f ms after rigctld started, at most %.0f ms without a tick", msToConnected,
          withoutTickMs);
    QVERIFY2(msToConnected < 3000, "connected too late");
    QVERIFY2(withoutTickMs < 250, "the window stopped ticking");
}

}  // namespace

Q_DECLARE_METATYPE(Case)

class LinkFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void statusTellsTheTruthInTimeAndTheTicksGoOn_data() {
        QTest::addColumn<Case>("row");
        const Case rows[] = {
            {"rigctld started 5 s after the window", Fault::LateStart, 5000, false, 0},
            {"rigctld stopped (a hung radio), continued 3 s later", Fault::Hung, 3000, true},
            {"the same with the clock standing: only readings go out", Fault::Hung, 3000, true, 0},
            {"rigctld stopped for 0.3 s: a hiccup, not a loss", Fault::Hung, 300, false},
            {"rigctld killed, a new one on the same port 3 s later", Fault::Restarted, 3000, true},
            {"a radio that refuses every frequency", Fault::Refusing, 4000, false},
            {"reading: not a number", Fault::Nonsense, 2500, true, 300, "nan"},
            {"reading: beyond any 64-bit number", Fault::Nonsense, 2500, true, 300, "1e300"},
            {"reading: negative", Fault::Nonsense, 2500, true, 300, "-5"},
            {"reading: 1 MB of digits", Fault::Nonsense, 2500, true, 300, QByteArray(1 << 20, '7')},
            {"reading: not UTF-8", Fault::Nonsense, 2500, true, 300, "\xff\xfe\xc3\x28\x80"},
            {"a byte every 0.3 s, never a line end", Fault::Trickling, 2500, true},
        };
        for (const Case& row : rows) QTest::newRow(row.name) << row;
    }
    void statusTellsTheTruthInTimeAndTheTicksGoOn() {
        QFETCH(Case, row);
        RigctldProcess rigctld;
        std::optional<RigctldProxy> proxy;  // a peer in front of rigctld that plays the fault
        const bool peerFault = row.fault >= Fault::Refusing;
        if (peerFault) proxy.emplace(rigctld);
        if (row.fault == Fault::LateStart) rigctld.Kill();
        morvane::HamlibOptions radio;
        radio.model = 2;
        radio.port = proxy ? proxy->address() : rigctld.address();
        const QString connected = QString("Connected to rigctld at %1").arg(radio.port.c_str());
        WatchedWindow watched(radio, SteppingClock(255'002, row.clockStepMs));
        if (row.fault == Fault::LateStart)
            return StartLate(watched, rigctld, connected, row.lastsMs);
        QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), connected, 5000);
        QTest::qWait(500);
        const Clock::time_point loss = Clock::now();
        if (row.fault == Fault::Restarted) rigctld.Kill();
        if (row.fault == Fault::Hung) rigctld.Suspend();
        if (row.fault == Fault::Refusing) proxy->RefuseFrequencies();
        if (row.fault == Fault::Nonsense)
            proxy->AnswerFrequencyReadsWith(row.reading.toStdString());
        if (row.fault == Fault::Trickling) proxy->Trickle();
        QTest::qWait(row.lastsMs);
        if (row.fault == Fault::Hung) rigctld.Resume();
        if (row.fault == Fault::Restarted) {
            rigctld.Restart();
            QTRY_VERIFY_WITH_TIMEOUT(rigctld.Listening(), 5000);
        }
        if (!peerFault) QTest::qWait(2000);

        double msToNotConnected = -1;                     // never said
        const QRegularExpression hertz("^[0-9]{1,12}$");  // Text4 as the window shows it
        for (const WatchedWindow::Sample& sample : watched.Samples()) {
            QVERIFY2(hertz.match(sample.text4).hasMatch(), qPrintable(sample.text4.left(40)));
            if (sample.at < loss) continue;
            if (msToNotConnected < 0 && sample.status == kStoppedAnswering) {
                msToNotConnected = MsBetween(loss, sample.at);
            }
            // Nothing opens the link again, so it never says "Connected" again.
            if (msToNotConnected >= 0) QCOMPARE(sample.status, kStoppedAnswering);
        }
        const double withoutTickMs = watched.LongestWithoutTickMsAfter(loss);
        qInfo("not connected after %.0f ms, at most %.0f ms without a tick", msToNotConnected,
              withoutTickMs);
        // A tick may come one tick period late, with margin for a loaded machine.
        QVERIFY2(withoutTickMs < 250, "the window stopped ticking");
        if (!row.closes) {
            QCOMPARE(msToNotConnected, -1.0);
            if (row.fault == Fault::Hung) {  // commands still arrive: the radio moves on
                const QString radioNow = watched.Text("Text4");
                QTRY_VERIFY(watched.Text("Text4") != radioNow);
            }
        } else {
            QVERIFY2(msToNotConnected >= 0 && msToNotConnected < 2000, "not connected too late");
            QCOMPARE(watched.Text("Text6"), morvane::kLinkDownMark.data());
            QVERIFY(watched.Control("status")->toolTip().endsWith("the radio stopped answering"));
        }
        // The link is never opened again, so a new rigctld hears nothing from it.
        if (row.fault == Fault::Restarted) QCOMPARE(rigctld.Frequency(), 145'000'000LL);
        if (row.fault != Fault::Refusing) return;
        // Each step is asked for once, and a refusal does not make it ask again.
        QStringList asked;
        for (const std::string& command : proxy->RefusedCommands()) asked << command.c_str();
        QVERIFY2(asked.size() >= 5, "the sweep should have asked for several steps");
        QCOMPARE(asked.removeDuplicates(), 0);
    }
};

QTEST_MAIN(LinkFaultsTest)
#include "tst_linkfaults.moc"
