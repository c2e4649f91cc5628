// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the user meets it, offscreen: real widgets, a real timer
// and Hamlib's dummy radio or a real rigctld; only the clock is set by the test.
#include <signal.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <optional>
#include <set>

#include "testsupport/rigctld.hpp"
#include "window/main_window_qt.hpp"

using namespace morvane;
using namespace morvane::testing;
using Clock = std::chrono::steady_clock;
using Mode = RigctldProxy::Mode;

namespace {

// The real window, watched from its own thread: when each tick ran, and what the
// status line said in turn. Its clock starts `startMs` past midnight and either
// stands still or runs in real time.
class WatchedWindow {
  public:
    WatchedWindow(int startMs, bool runs, int model = 1, std::string port = {},
                  MainFields fields = {},
                  std::function<std::optional<ClockStatus>()> clockStatus = ReadKernelClockStatus,
                  bool utc = false)
        : started_(Clock::now()),
          window_({{model, std::move(port), 0, {}},
                   std::move(fields),
                   [this, startMs, runs] {
                       ticks_.push_back(Clock::now());  // every tick reads the clock once
                       const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(
                           ticks_.back() - started_);
                       const int now = startMs + (runs ? static_cast<int>(ran.count()) : 0);
                       return ClockReading{now / 3'600'000, now / 60'000 % 60, now / 1000 % 60,
                                           now % 1000};
                   },
                   std::move(clockStatus), TickTiming::SweepLocked, utc}) {
        QObject::connect(&sampler_, &QTimer::timeout, [this] {
            if (statuses_.empty() || statuses_.back() != Text("status"))
                statuses_ << Text("status");
        });
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    const QStringList& Statuses() const { return statuses_; }
    // Whether no tick came late after `from`, until now: one tick period late at
    // most, with margin for a loaded machine.
    bool TickedOnTimeAfter(Clock::time_point from) const {
        Clock::duration longest{};
        for (const Clock::time_point tick : ticks_)
            if (tick > from) longest = std::max(longest, tick - std::exchange(from, tick));
        return std::max(longest, Clock::now() - from) < std::chrono::milliseconds(250);
    }
    QWidget* Control(const QString& name) const {
        return window_.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    }
    // A list's current text, a slider's position, other controls' text.
    QString Text(const QString& name) const {
        const QMetaProperty shown = Control(name)->metaObject()->userProperty();
        return Control(name)->property(shown.isValid() ? shown.name() : "text").toString();
    }

  private:
    Clock::time_point started_;
    std::vector<Clock::time_point> ticks_;  // before the window, whose clock fills it
    QStringList statuses_;
    MainWindow window_;
    QTimer sampler_;
};

const QStringList kSettings = {"Combo_period", "chirptime", "Combo_rate", "Combo_step"};

// The settings' texts, then their lists' entries.
QStringList Settings(const WatchedWindow& watched) {
    QStringList texts, entries;
    for (const QString& name : kSettings) {
        texts << watched.Text(name);
        auto* list = qobject_cast<const QComboBox*>(watched.Control(name));
        QStringList items;
        for (int i = 0; list && i < list->count(); ++i) items << list->itemText(i);
        entries << items.join(' ');
    }
    return texts + entries;
}

// "#000000 on #ffbf00": a control's text colour on its background.
QString Colours(const QWidget* control) {
    const QPalette look = control->palette();
    return look.color(QPalette::Text).name() + " on " + look.color(QPalette::Base).name();
}

// Replaces what a field holds as a paste does, and presses Enter.
void EnterText(QWidget* control, const QString& text) {
    auto* edit = control->inherits("QLineEdit") ? static_cast<QLineEdit*>(control)
                                                : control->findChild<QLineEdit*>();
    edit->selectAll();
    edit->insert(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// An edit, why the tick cannot use the setting then, and the step handed off after it.
struct Edit {
    QString field, text, why = "";
    const char* step = "2300000";  // at 23.55 s into the sweep: 2 355 000 Hz at 100 kHz/s
    enum { Paste, Choose, Press } how = Paste;
};

enum class Fault { LateStart, Hung, Restarted, Refusing, Failing, Slow, Trickling };

// A fault, how long it lasts before the radio side is back (started, continued,
// restarted, answering again), and what the status line says meanwhile: "" while it
// stays connected, else how it begins. Refusing and Failing answer "RPRT code";
// Slow holds every answer `code` ms.
struct Case {
    Fault fault;
    int lastsMs;
    QString says;
    int code = 0;
};

const QString kStoppedAnswering = "Not connected: the radio stopped answering; trying again";

}  // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Case)

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void showsTheRecordThenTheFirstTick_data() {
        QTest::addColumn<bool>("opens");  // the dummy radio, and the clock is synchronised
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("utc");  // else the local time, in the test's zone (NPT)
        QTest::newRow("dummy radio, 1.5, clock synchronised")
            << true << QLocale(QLocale::English) << false;
        QTest::newRow("no such radio, 1,5, clock not in sync, UTC")
            << false << QLocale(QLocale::German) << true;
    }
    void showsTheRecordThenTheFirstTick() {
        QFETCH(bool, opens);
        QFETCH(QLocale, locale);
        QFETCH(bool, utc);
        QLocale::setDefault(locale);
        QApplication::setPalette(QPalette(Qt::darkGray, Qt::black));  // a dark theme: light text
        // 00:04:00.002: 5.1 s into the sweep, on the ticks' phase.
        WatchedWindow watched(240'002, false, opens ? 1 : 999999, {}, {}, [opens] {
            return std::optional(ClockStatus{opens, opens ? 1'000 : 16'000'000});
        }, utc);
        QLocale::setDefault(QLocale::c());
        // Before the first tick: the record, and the lists.
        QStringList texts = Settings(watched);
        for (const char* name :
             {"Slider1", "Text7", "Text1", "text2", "Text4", "Text6", "status", "Label4"})
            texts << watched.Text(name);
        QCOMPARE(texts, (QStringList{"300", "235", "100", "100", "60 300 600 900 1200 1800", "",
                                     "100 125 50 500", "100 50 500", "0", "Text7", "", "18.100.000",
                                     "18100000", "Text6", "Status", "Frequency"}));

        QTRY_COMPARE(watched.Text("Text7"), "0");
        QCOMPARE(watched.Text("Text3"), locale.toString(5.1));
        QCOMPARE(Colours(watched.Control("Text1")) == "#000000 on #ffbf00", !opens);
        QCOMPARE(watched.Control("Text1")->toolTip().contains("not synchronised"), !opens);
        QVERIFY(
            watched.Control("Text1")->toolTip().startsWith(utc ? "UTC\n" : "local time, NPT\n"));
        QCOMPARE(watched.Text("Label7"), utc ? "UTC" : "Time");
        QTRY_COMPARE(watched.Text("status"), opens ? "Connected to Hamlib Dummy"
                                                   : "Not connected: cannot open the radio: Hamlib "
                                                     "has no radio m\u2026");  // too long: cut
        QCOMPARE(Colours(watched.Control("text2")),
                 opens ? "#000000 on #00ff00" : "#000000 on #ff0000");
        QVERIFY(
            watched.Control("status")->toolTip().contains(opens ? "Dummy (model 1)" : "999999"));

        // The boxes in pixels at 96 dpi, where the record puts them.
        watched.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&watched.window()));
        QCOMPARE(watched.window().size(), QSize(330, 243 + 12));  // and the status's second line
        // The second line and, at its end, the button that opens the map.
        const QRect progress = watched.Control("progress")->geometry();
        const QRect map = watched.Control("mapButton")->geometry();
        QCOMPARE(progress.united(map), QRect(8, 233, 313, 12));
        QVERIFY(!progress.intersects(map));
        QCOMPARE(watched.Control("text2")->geometry(), QRect(96, 8, 121, 27));
        QCOMPARE(watched.Control("Text6")->geometry(), QRect(344, 304, 41, 19));  // beyond 330
        QVERIFY(!watched.Control("Text4")->isVisible());  // hidden under text2
        QVERIFY(watched.Control("Text5")->hasFocus());
    }

    // The longest texts the status line shows, at the window's default size: cut where
    // they do not fit, with an ellipsis, and whole in the tooltip.
    void aStatusThatDoesNotFitEndsInAnEllipsisAndIsWholeInTheTooltip_data() {
        QTest::addColumn<QString>("status");
        QTest::newRow("each step replaced") << "Each step is replaced by the next before its "
                                               "chirp has passed; a larger step or a slower rate";
        QTest::newRow("no dialout") << "Not connected: cannot open the radio: permission denied "
                                       "for /dev/ttyUSB0; join the dialout group (sudo usermod";
        QTest::newRow("a host name of 253 characters")
            << "Not connected: cannot open the radio: cannot find the host " +
                   QStringList(4, QString(63, 'h')).join('.').left(253);
    }
    void aStatusThatDoesNotFitEndsInAnEllipsisAndIsWholeInTheTooltip() {
        QFETCH(QString, status);
        MainFields fields;
        fields.status = status.toStdString();
        WatchedWindow watched(0, false, 1, {}, fields);  // as it opens, before its first tick
        for (auto* line : {watched.Control("status"), watched.Control("progress")}) {
            const QString shown = qobject_cast<QLabel*>(line)->text();
            QVERIFY2(line->fontMetrics().horizontalAdvance(shown) <= line->contentsRect().width() &&
                         line->fontMetrics().height() <= line->contentsRect().height() &&
                         line->toolTip().startsWith(status + "\n"), qPrintable(shown));
        }
        const QString shown = watched.Text("status");
        QVERIFY2(shown.endsWith(QChar(0x2026)) && status.startsWith(shown.chopped(1)),
                 qPrintable(shown));
    }

    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn_data() {
        QTest::addColumn<Edit>("row");
        const QString digits(1 << 20, '9');  // a megabyte, too large for any number
        const QString rates = " is not one of 50, 100, 125, 500 kHz/s";
        const QString off = "; the sweep is not followed";
        QTest::newRow("rate 500 chosen") << Edit{"Combo_rate", "500", "", "11700000", Edit::Choose};
        QTest::newRow("rate 75: kept, marked") << Edit{"Combo_rate", "75", "Rate: \"75\"" + rates + off};
        QTest::newRow("step 50 typed") << Edit{"Combo_step", "50", "", "2350000"};
        QTest::newRow("offset +1500 ms") << Edit{"Slider1", "End", "", "2500000", Edit::Press};
        QTest::newRow("chirp time empty") << Edit{"chirptime", "", "Chirp time: is empty" + off};
        QTest::newRow("period: 1 MB digits") << Edit{"Combo_period", digits, "Period: overflows" + off};
        QTest::newRow("step: 0.5 MB of unpaired surrogates")
            << Edit{"Combo_step", QString(1 << 19, QChar(0xD800)), "Step: is not a number" + off};
        QTest::newRow("period 0.0001: what stops the tick is told first")
            << Edit{"Combo_period", "0.0001", "Period: rounds to 0 ms" + off};
        // Settings no sounder has: followed as they stand, and marked.
        QTest::newRow("period 5") << Edit{"Combo_period", "5", "Period: 5 s is outside 60 s to 30 min",
                                          "2000000"};
        QTest::newRow("period 70") << Edit{"Combo_period", "70", "Period: 70 s does not divide the "
                                           "day's 86 400 s, so the sweep jumps at midnight; 72 s does",
                                           "2000000"};
        QTest::newRow("chirp time 400") << Edit{"chirptime", "400", "Chirp time: 400 s is outside the "
            "300 s period: at 100 kHz/s the sweep tops out at 20 MHz; 100 s gives the whole sweep",
            "15800000"};
        QTest::newRow("chirp time -400") << Edit{"chirptime", "-400", "Chirp time: -400 s is outside "
            "the 300 s period: at 100 kHz/s the sweep never takes the radio off 2 MHz; 200 s gives "
            "the whole sweep", "2000000"};
    }
    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn() {
        QFETCH(Edit, row);
        WatchedWindow watched(258'452, false);           // 23.55 s into the sweep
        QTRY_COMPARE(watched.Text("Text4"), "2300000");  // sent once, and the radio went there
        QCOMPARE(watched.Text("text2"), "2.300.000");    // the same reading, as the radio shows it
        QWidget* control = watched.Control(row.field);
        QStringList settings = Settings(watched);
        const QString was = watched.Text(row.field);
        const QColor normalText = control->palette().color(QPalette::Text);
        if (row.how == Edit::Paste) EnterText(control, row.text);
        if (row.how == Edit::Press) QTest::keySequence(control, QKeySequence(row.text));
        if (auto* list = qobject_cast<QComboBox*>(control); row.how == Edit::Choose)
            list->setCurrentIndex(list->findText(row.text));
        // Cutting a megabyte to what a line edit holds is Qt's work, not counted.
        const Clock::time_point edited = Clock::now();
        QTest::qWait(500);
        QVERIFY2(watched.TickedOnTimeAfter(edited), "the window stopped ticking");
        QCOMPARE(control->toolTip(), row.why);
        QCOMPARE(control->palette().color(QPalette::Text), row.why.isEmpty() ? normalText : Qt::red);
        QCOMPARE(watched.Text("Text6"), row.step);
        QTRY_COMPARE(watched.Text("Text4"), row.step);  // the radio went there
        // What was typed stays, cut to 255 characters, as the record holds it; no list grows.
        if (const qsizetype i = kSettings.indexOf(row.field); i >= 0)
            settings[i] = QString::fromStdString(row.text.left(255).toStdString());
        QCOMPARE(Settings(watched), settings);
        if (row.how != Edit::Paste) return;
        EnterText(control, was);
        QTRY_COMPARE(control->toolTip(), "");
        QCOMPARE(control->palette().color(QPalette::Text), normalText);
    }

    // A real rigctld failing under the window, at 500 kHz/s in 100 kHz steps (one every
    // 200 ms): it keeps ticking, its status line tells the truth, and once the radio
    // side is back it is connected again within 3 s. Readings that make no sense are
    // in the link's own test.
    void statusTellsTheTruthInTimeAndReconnects_data() {
        QTest::addColumn<Case>("row");
        const QString waiting = "Not connected: waiting for rigctld at ";
        QTest::newRow("rigctld started 5 s late") << Case{Fault::LateStart, 4500, waiting};
        QTest::newRow("rigctld hung (SIGSTOP) for 3 s") << Case{Fault::Hung, 3000, kStoppedAnswering};
        QTest::newRow("rigctld hung for 0.3 s: not a loss") << Case{Fault::Hung, 300, ""};
        QTest::newRow("rigctld killed, restarted 3 s later")
            << Case{Fault::Restarted, 3000, kStoppedAnswering};
        QTest::newRow("every frequency refused, RPRT -1")
            << Case{Fault::Refusing, 3000, "The radio refuses the frequency: ", -1};
        // Each retune waits for the one before it too: the radio is measured slower still.
        const QString slow = "The radio answers in about ";
        QTest::newRow("every answer 700 ms late") << Case{Fault::Slow, 4000, slow, 700};
        QTest::newRow("every answer 900 ms late") << Case{Fault::Slow, 4000, slow, 900};
        QTest::newRow("RPRT -5 to everything for 0.25 s") << Case{Fault::Failing, 250, "", -5};
        QTest::newRow("RPRT -5 to everything for 3 s")
            << Case{Fault::Failing, 3000, kStoppedAnswering, -5};
        QTest::newRow("a byte every 0.3 s, never a line end")
            << Case{Fault::Trickling, 2500, kStoppedAnswering};
    }
    void statusTellsTheTruthInTimeAndReconnects() {
        QFETCH(Case, row);
        RigctldProcess rigctld;
        std::optional<RigctldProxy> proxy;  // a peer in front of rigctld that plays the fault
        if (row.fault >= Fault::Refusing) proxy.emplace(rigctld);
        if (row.fault == Fault::LateStart) rigctld.Kill();
        const QString address = (proxy ? proxy->address() : rigctld.address()).c_str();
        const QString connected = "Connected to rigctld at " + address;
        MainFields fields;
        fields.Combo_rate = "500";
        WatchedWindow watched(234'900 + 5'000, true, 2, address.toStdString(), fields);  // 2.5 MHz
        const Clock::time_point opened = Clock::now();
        if (row.fault != Fault::LateStart)
            QTRY_VERIFY_WITH_TIMEOUT(watched.Text("status").startsWith(connected), 5000);
        QTest::qWait(500);
        const qsizetype before = watched.Statuses().size();
        const QDeadlineTimer faultEnds(row.lastsMs);
        if (row.fault == Fault::Hung) kill(rigctld.pid(), SIGSTOP);
        if (row.fault == Fault::Restarted) rigctld.Kill();
        if (row.fault == Fault::Slow) proxy->HoldAnswers(std::chrono::milliseconds(row.code));
        if (row.fault == Fault::Refusing) proxy->Play(Mode::Refusing, row.code);
        if (row.fault == Fault::Failing) proxy->Play(Mode::Failing, row.code);
        if (row.fault == Fault::Trickling) proxy->Play(Mode::Trickling);
        if (!row.says.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(watched.Text("status").startsWith(row.says), row.lastsMs + 1000);
        QTest::qWait(static_cast<int>(faultEnds.remainingTime()));
        const QStringList during = watched.Statuses().mid(before);
        if (row.says.isEmpty())  // a glitch the radio gets over is not a loss
            QVERIFY2(during.filter("Not connected").isEmpty(), qPrintable(during.join('\n')));
        if (row.fault == Fault::Hung) kill(rigctld.pid(), SIGCONT);
        if (row.fault == Fault::Restarted || row.fault == Fault::LateStart) rigctld.Restart();
        if (proxy) proxy->HoldAnswers(std::chrono::milliseconds(0));
        if (proxy) proxy->Play(Mode::PassThrough);
        QTRY_VERIFY_WITH_TIMEOUT(watched.Text("status").startsWith(connected), 3000);
        QVERIFY2(watched.TickedOnTimeAfter(opened), "the window stopped ticking");
        if (row.fault != Fault::Refusing) return;
        // Each step is asked for once, and a refusal does not make it ask again.
        const std::vector<std::string> asked = proxy->RefusedCommands();
        QVERIFY2(asked.size() >= 5, "the sweep should have asked for several steps");
        QCOMPARE(std::set(asked.begin(), asked.end()).size(), asked.size());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
