// The real window driving a real rigctld while the radio side fails: does the
// window keep ticking, and does the status line tell the truth? The readings
// that make no sense are in the link's own test.
#include <signal.h>

#include <QtTest>
#include <optional>

#include "radiolink/hand_off.hpp"
#include "testsupport/rigctld.hpp"
#include "testsupport/window_watch.hpp"

using namespace morvane;
using namespace morvane::testing;

namespace {

enum class Fault { LateStart, Hung, Restarted, Refusing, Trickling };

// A fault, how long it lasts before the radio side is back (started,
// continued, restarted) or left as it is, and whether the link must close.
struct Case {
    Fault fault;
    int lastsMs;
    bool closes;
    int clockStepMs = 300;  // the sweep six times as fast: a new frequency every 170 ms or so
};

const QString kStoppedAnswering =
    "Not connected: the radio stopped answering; restart Morvane once it is back";

}  // namespace

Q_DECLARE_METATYPE(Case)

class LinkFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void statusTellsTheTruthInTimeAndTheTicksGoOn_data() {
        QTest::addColumn<Case>("row");
        QTest::newRow("rigctld started 5 s after the window")
            << Case{Fault::LateStart, 4500, false, 0};
        QTest::newRow("rigctld hung (SIGSTOP), continued 3 s later")
            << Case{Fault::Hung, 3000, true};
        QTest::newRow("the same, only readings going out") << Case{Fault::Hung, 3000, true, 0};
        QTest::newRow("rigctld hung for 0.3 s: not a loss") << Case{Fault::Hung, 300, false};
        QTest::newRow("rigctld killed, restarted 3 s later") << Case{Fault::Restarted, 3000, true};
        QTest::newRow("every frequency refused") << Case{Fault::Refusing, 4000, false};
        QTest::newRow("a byte every 0.3 s, never a line end") << Case{Fault::Trickling, 2500, true};
    }
    void statusTellsTheTruthInTimeAndTheTicksGoOn() {
        QFETCH(Case, row);
        RigctldProcess rigctld;
        std::optional<RigctldProxy> proxy;  // a peer in front of rigctld that plays the fault
        if (row.fault >= Fault::Refusing) proxy.emplace(rigctld);
        if (row.fault == Fault::LateStart) rigctld.Kill();
        const QString address = (proxy ? proxy->address() : rigctld.address()).c_str();
        const QString connected = "Connected to rigctld at " + address;
        WatchedWindow watched(255'002, row.clockStepMs, 2, address.toStdString());
        const Clock::time_point opened = Clock::now();
        if (row.fault != Fault::LateStart)
            QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), connected, 5000);
        QTest::qWait(500);
        const QDeadlineTimer faultEnds(row.lastsMs);
        if (row.fault == Fault::Hung) kill(rigctld.pid(), SIGSTOP);
        if (row.fault == Fault::Restarted) rigctld.Kill();
        if (row.fault == Fault::Refusing) proxy->RefuseFrequencies();
        if (row.fault == Fault::Trickling) proxy->Trickle();
        if (row.closes) QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), kStoppedAnswering, 2000);
        QTest::qWait(static_cast<int>(faultEnds.remainingTime()));
        if (row.fault == Fault::Hung) kill(rigctld.pid(), SIGCONT);
        if (row.fault == Fault::LateStart)
            QCOMPARE(watched.Text("status"), "Not connected: waiting for rigctld at " + address);
        if (row.fault == Fault::LateStart || row.fault == Fault::Restarted) rigctld.Restart();
        if (row.fault == Fault::LateStart) {
            // Taken within 3 s, and the step the sweep is on sent: the only command.
            QTRY_COMPARE_WITH_TIMEOUT(watched.Text("status"), connected, 3000);
            QTRY_COMPARE(watched.Text("Text4"), "2000000");
            QCOMPARE(watched.Text("Text6"), "2000000");
        } else if (!proxy) {
            QTest::qWait(2000);
        }
        QVERIFY2(watched.TickedOnTimeAfter(opened), "the window stopped ticking");
        // Nothing opens the link again, so it never says "Connected" again.
        QStringList expected{connected};
        if (row.closes) expected << kStoppedAnswering;
        QCOMPARE(watched.Statuses().mid(watched.Statuses().indexOf(connected)), expected);
        if (row.closes) {
            QCOMPARE(watched.Text("Text6"), kLinkDownMark.data());
            QVERIFY(watched.Control("status")->toolTip().endsWith("the radio stopped answering"));
        } else if (row.fault == Fault::Hung) {  // commands still arrive: the radio moves on
            const QString radioNow = watched.Text("Text4");
            QTRY_VERIFY(watched.Text("Text4") != radioNow);
        }
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
