// The main window as the user meets it, offscreen: real widgets, a real timer
// and Hamlib's dummy radio; only the clock is set by the test.
#include <QClipboard>
#include <QtTest>

#include "radiolink/hand_off.hpp"
#include "testsupport/window_watch.hpp"

using morvane::HamlibOptions;
using morvane::MainWindow;
using morvane::testing::Clock;
using morvane::testing::SteppingClock;
using morvane::testing::WatchedWindow;

namespace {

// 00:04:00.002, 5.1 s into the sweep of the initial settings; on the ticks'
// phase, so that with the clock standing still they come every 50 ms.
constexpr int k0004 = 240'002;

const HamlibOptions kDummyRadio;  // model 1

QStringList EntriesOf(const QWidget* control) {
    auto* list = qobject_cast<const QComboBox*>(control);
    QStringList entries;
    for (int i = 0; list && i < list->count(); ++i) entries << list->itemText(i);
    return entries;
}

// Replaces what a field holds as a user does: select it all, paste, press Enter.
void EnterText(QWidget* control, const QString& text) {
    auto* list = qobject_cast<QComboBox*>(control);
    QLineEdit* edit = list ? list->lineEdit() : qobject_cast<QLineEdit*>(control);
    QVERIFY(edit);
    QGuiApplication::clipboard()->setText(text);
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keySequence(edit, QKeySequence::Paste);
    QTest::keyClick(edit, Qt::Key_Return);
}

// An edit; the edited field's tooltip from the next tick on (empty: not
// marked), and what a field shows then (by default, the step handed off).
struct Edit {
    const char* name;
    const char* field;
    QString text;
    const char* why = "";
    const char* shows = "2300000";
    const char* shownIn = "Text6";
    enum { Paste, Choose, Press } how = Paste;
};

}  // namespace

Q_DECLARE_METATYPE(Edit)

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The radio opens or cannot, in a locale with a decimal point or comma.
    void opensShowingTheRecordThenTheFirstTicksReadoutsAndTheLink_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("dummy radio, decimal point") << 1 << QLocale(QLocale::English);
        QTest::newRow("no such radio, decimal comma") << 999'999 << QLocale(QLocale::German);
    }
    void opensShowingTheRecordThenTheFirstTicksReadoutsAndTheLink() {
        QFETCH(int, model);
        QFETCH(QLocale, locale);
        const bool opens = model == 1;
        HamlibOptions radio;
        radio.model = model;
        const QLocale before;
        QLocale::setDefault(locale);
        WatchedWindow watched(radio, SteppingClock(k0004, 0));
        QLocale::setDefault(before);
        MainWindow& window = watched.window();
        // Before the first tick: the record, the lists, and no colour behind
        // text2 while nothing is known of the link.
        QStringList texts;
        for (const char* field :
             {"Combo_period", "chirptime", "Combo_rate", "Combo_step", "Slider1", "Text7", "Text1",
              "text2", "Text4", "Text6", "status", "Label4"}) {
            texts << watched.Text(field);
        }
        QCOMPARE(texts, (QStringList{"300", "235", "100", "100", "0", "Text7", "", "18.100.000",
                                     "18100000", "Text6", "Status", "Frequency"}));
        QStringList lists;
        for (const char* list : {"Combo_period", "Combo_rate", "Combo_step"}) {
            lists << EntriesOf(watched.Control(list)).join(' ');
        }
        QCOMPARE(lists, (QStringList{"60 300 600 900 1200 1800", "100 125 50 500", "100 50 500"}));
        const QColor noColour = window.palette().color(QPalette::Base);
        QCOMPARE(watched.Control("text2")->palette().color(QPalette::Base), noColour);

        QTRY_COMPARE(watched.Text("Text7"), "0");
        QCOMPARE(watched.Text("Text1"), "0:4:0");
        QCOMPARE(watched.Text("Text3"), locale.toString(5.1));
        QCOMPARE(watched.Text("Text5"), locale.toString(240.1));
        QTRY_COMPARE(watched.Text("status"),
                     opens ? "Connected to Hamlib Dummy"
                           : "Not connected: cannot open the radio: Hamlib has no radio model 999999");
        QCOMPARE(watched.Control("text2")->palette().color(QPalette::Base),
                 opens ? QColor(0, 255, 0) : QColor(255, 0, 0));
        const QString tooltip = watched.Control("status")->toolTip();
        QVERIFY2(tooltip.contains(opens ? "Hamlib Dummy (model 1)" : "no radio model 999999"),
                 qPrintable(tooltip));

        // The boxes in pixels at 96 dpi stay put when the window grows.
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.size(), QSize(330, 243));
        window.resize(640, 480);
        QTRY_COMPARE(window.size(), QSize(640, 480));
        QCOMPARE(watched.Control("text2")->geometry(), QRect(96, 8, 121, 27));
        QCOMPARE(watched.Control("Text6")->geometry(), QRect(344, 304, 41, 19));  // beyond 330
        QVERIFY(!watched.Control("Text4")->isVisible());  // hidden under text2
        QVERIFY(watched.Control("Text5")->hasFocus());
    }

    // The time of day as the computation uses it, marked when the clock cannot be trusted.
    void firstTickShowsTheTimeOfDayItWorksFrom_data() {
        QTest::addColumn<bool>("utc");
        QTest::addColumn<bool>("synchronised");
        QTest::newRow("local time, clock synchronised") << false << true;
        QTest::newRow("UTC, clock not synchronised") << true << false;
    }
    void firstTickShowsTheTimeOfDayItWorksFrom() {
        QFETCH(bool, utc);
        QFETCH(bool, synchronised);
        const QTime now = utc ? QDateTime::currentDateTimeUtc().time() : QTime::currentTime();
        WatchedWindow watched(
            {kDummyRadio, {}, utc ? morvane::ReadUtcClock : morvane::ReadLocalClock, [=] {
                 return morvane::ClockStatus{synchronised, synchronised ? 1'000 : 16'000'000};
             }});
        // The first tick comes within 50 ms, and a second may have turned since `now`.
        const QStringList nowOrNext = {now.toString("H:m:s"), now.addSecs(1).toString("H:m:s")};
        QTRY_VERIFY2(nowOrNext.contains(watched.Text("Text1")), qPrintable(watched.Text("Text1")));
        const QWidget* timeOfDay = watched.Control("Text1");
        QCOMPARE(timeOfDay->palette().color(QPalette::Base) == QColor(255, 191, 0), !synchronised);
        QCOMPARE(timeOfDay->toolTip().contains("not synchronised"), !synchronised);
    }

    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn_data() {
        QTest::addColumn<Edit>("row");
        const QString digits(1 << 20, '9');  // a megabyte, too large for any number
        const QString letters(1 << 20, QChar(0xE9));
        const QString surrogates(1 << 19, QChar(0xD800));  // unpaired: no Unicode at all
        // 23.55 s into the sweep: 2 355 000 Hz at 100 kHz/s, handed off as 2 300 000.
        const Edit rows[] = {
            {"rate 125 typed", "Combo_rate", "125", "", "2900000"},
            {"rate 500 chosen", "Combo_rate", "500", "", "11700000", "Text6", Edit::Choose},
            {"rate 75 typed: kept, marked, nothing sent", "Combo_rate", "75",
             "Rate: \"75\" is not one of 50, 100, 125, 500 kHz/s; the sweep is not followed", "75",
             "Combo_rate"},
            {"step 50 typed", "Combo_step", "50", "", "2350000"},
            {"offset +1500 ms", "Slider1", "End", "", "2500000", "Text6", Edit::Press},
            {"offset -1500 ms", "Slider1", "Home", "", "2200000", "Text6", Edit::Press},
            // A setting the tick cannot use: marked, and nothing more handed off.
            {"period of 0 s", "Combo_period", "0",
             "Period: rounds to 0 ms; the sweep is not followed"},
            {"chirp time empty", "chirptime", "",
             "Chirp time: is empty; the sweep is not followed"},
            // A field keeps 255 characters of a megabyte.
            {"period: 1 MB of digits", "Combo_period", digits,
             "Period: overflows; the sweep is not followed"},
            {"chirp time: 1 MB of letters", "chirptime", letters,
             "Chirp time: is not a number; the sweep is not followed"},
            {"step: 0.5 MB of surrogates", "Combo_step", surrogates,
             "Step: is not a number; the sweep is not followed"},
            {"rate: 1 MB of digits", "Combo_rate", digits,
             "Rate: \"999999999999999999999999...\" is not one of 50, 100, 125, 500 kHz/s; "
             "the sweep is not followed"},
            // The last frequency handed off: the next tick writes its own again.
            {"Text6: 1 MB of digits", "Text6", digits},
        };
        for (const Edit& row : rows) QTest::newRow(row.name) << row;
    }
    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn() {
        QFETCH(Edit, row);
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004 + 18'450, 0));
        QTRY_COMPARE(watched.Text("Text4"), "2300000");  // sent once, and the radio went there
        QCOMPARE(watched.Text("text2"), "2.300.000");    // the same reading, as the radio shows it
        QWidget* control = watched.Control(row.field);
        const QStringList entries = EntriesOf(control);
        const QColor normalText = control->palette().color(QPalette::Text);
        if (row.how == Edit::Paste) EnterText(control, row.text);
        if (row.how == Edit::Press) QTest::keySequence(control, QKeySequence(row.text));
        if (auto* list = qobject_cast<QComboBox*>(control); row.how == Edit::Choose) {
            list->setCurrentIndex(list->findText(row.text));
        }
        // Cutting a megabyte to what a line edit holds is Qt's work, not counted.
        const Clock::time_point edited = Clock::now();
        QTest::qWait(500);
        // A tick may come one tick period late, with margin for a loaded machine.
        QVERIFY2(watched.LongestWithoutTickMsAfter(edited) < 250, "the window stopped ticking");
        QCOMPARE(control->toolTip(), row.why);
        QCOMPARE(control->palette().color(QPalette::Text), *row.why ? QColor(Qt::red) : normalText);
        QCOMPARE(watched.Text(row.shownIn), row.shows);
        QCOMPARE(EntriesOf(control), entries);  // a typed setting is never added to a list
        for (const char* other : {"Combo_period", "chirptime", "Combo_rate", "Combo_step"}) {
            if (qstrcmp(other, row.field) != 0)
                QCOMPARE(watched.Text(other), watched.InitialText(other));
        }
        QTRY_COMPARE(watched.Text("Text4"), watched.Text("Text6"));  // the radio went there
        if (row.how != Edit::Paste) return;

        EnterText(control, watched.InitialText(row.field));
        QTRY_COMPARE(control->toolTip(), "");
        QTRY_COMPARE(watched.Text("Text6"), "2300000");
        QCOMPARE(control->palette().color(QPalette::Text), normalText);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
