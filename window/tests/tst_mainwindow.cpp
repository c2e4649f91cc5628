// The main window as the user meets it, offscreen: real widgets, a real timer
// and Hamlib's dummy radio; only the clock is set by the test.
#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QtTest>
#include <string_view>

#include "radiolink/hand_off.hpp"
#include "testsupport/window_watch.hpp"

using morvane::HamlibOptions;
using morvane::MainWindow;
using morvane::testing::Clock;
using morvane::testing::MsBetween;
using morvane::testing::SteppingClock;
using morvane::testing::WatchedWindow;

namespace {

// 00:04:00.002, 5.1 s into the sweep of the initial settings; on the ticks'
// phase, so that with the clock standing still they come every 50 ms.
constexpr int k0004 = 240'002;

HamlibOptions Radio(int model) {
    HamlibOptions options;
    options.model = model;
    return options;
}
const HamlibOptions kDummyRadio = Radio(1);

QStringList EntriesOf(const QWidget* control) {
    QStringList entries = {};
    if (auto* list = qobject_cast<const QComboBox*>(control)) {
        for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    }
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

// The field that has the focus (an editable list's focus sits in its line edit).
QString FocusedField(const QWidget& window) {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w->parentWidget() == &window) return w->objectName();
    }
    return "<none>";
}

// A field as the window opens: its text, its list, the field Tab moves on to
// (empty: not checked) and its box in pixels at 96 dpi (null: not checked).
struct Opening {
    const char* field;
    const char* text;
    const char* tabTo;
    QStringList entries = {};
    QRect pixels = {};
};

// An edit, and what a field shows from the next tick on.
struct Edited {
    const char* name;
    const char* field;
    enum { Paste, Choose, Press } how;
    const char* text;
    const char* shownIn;
    const char* shows;
};

// A text pasted into a field, and the field's tooltip then (empty: not marked).
struct Pasted {
    const char* name;
    const char* field;
    QString text;
    const char* why;
};

}  // namespace

Q_DECLARE_METATYPE(Opening)
Q_DECLARE_METATYPE(Edited)
Q_DECLARE_METATYPE(Pasted)

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void startsWithInitialValuesListsAndFocus_data() {
        QTest::addColumn<Opening>("row");
        const Opening rows[] = {
            {"Combo_period", "300", "Combo_rate", {"60", "300", "600", "900", "1200", "1800"}},
            {"chirptime", "235", "Slider1"},
            {"Combo_rate", "100", "Combo_step", {"100", "125", "50", "500"}},
            {"Combo_step", "100", "Text6", {"100", "50", "500"}},
            {"Slider1", "0", "Text1"},
            {"Text7", "Text7", "Text5"},  // the last in the order comes round to the first
            {"Text3", "Text3", "text2"},
            {"Text5", "Text5", "Text3"},
            {"Text1", "", "Combo_period"},
            {"text2", "18.100.000", "chirptime", {}, {96, 8, 121, 27}},
            {"Text4", "18100000", "", {}, {96, 8, 121, 27}},  // hidden under text2, never focused
            {"Text6", "Text6", "Text7", {}, {344, 304, 41, 19}},  // beyond the initial area
            {"status", "Status", "", {}, {8, 208, 313, 25}},
            {"Label4", "Frequency", ""},
            {"Label1", "ctime1 (Current position for Period", ""},
        };
        for (const Opening& row : rows) QTest::newRow(row.field) << row;
    }
    void startsWithInitialValuesListsAndFocus() {
        QFETCH(Opening, row);
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004, 0));
        MainWindow& window = watched.window();
        QWidget* control = watched.Control(row.field);
        // Before the first tick and before the link has said anything.
        QCOMPARE(watched.Text(row.field), row.text);
        QCOMPARE(EntriesOf(control), row.entries);
        QCOMPARE(window.windowTitle(), "Morvane V1.11");
        QCOMPARE(watched.Control("text2")->palette().color(QPalette::Base),
                 window.palette().color(QPalette::Base));

        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(FocusedField(window), "Text5");
        QCOMPARE(qRound(window.screen()->logicalDotsPerInch()), 96);
        QCOMPARE(window.size(), QSize(330, 243));
        window.resize(640, 480);  // the fields keep their places
        QTRY_COMPARE(window.size(), QSize(640, 480));
        if (!row.pixels.isNull()) QCOMPARE(control->geometry(), row.pixels);
        QCOMPARE(control->isVisible(), row.field != std::string_view("Text4"));
        if (*row.tabTo == '\0') return;
        control->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(FocusedField(window), row.tabTo);
    }

    // The radio opens or cannot; the readouts in the locale's decimal separator.
    void firstTickShowsOffsetTimeReadoutsAndTheLink_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("dummy radio, decimal point") << 1 << QLocale(QLocale::English);
        QTest::newRow("no such radio, decimal comma") << 999'999 << QLocale(QLocale::German);
    }
    void firstTickShowsOffsetTimeReadoutsAndTheLink() {
        QFETCH(int, model);
        QFETCH(QLocale, locale);
        const bool opens = model == 1;
        const QLocale before;
        QLocale::setDefault(locale);
        WatchedWindow watched(Radio(model), SteppingClock(k0004, 0));
        QLocale::setDefault(before);
        QTRY_COMPARE(watched.Text("Text7"), "0");
        QCOMPARE(watched.Text("Text1"), "0:4:0");
        QCOMPARE(watched.Text("Text3"), locale.toString(5.1));
        QCOMPARE(watched.Text("Text5"), locale.toString(240.1));
        QTRY_COMPARE(watched.Text("status"), opens ? morvane::kConnectedStatus.data()
                                                   : morvane::kNotConnectedStatus.data());
        QCOMPARE(watched.Control("text2")->palette().color(QPalette::Base),
                 opens ? QColor(0, 255, 0) : QColor(255, 0, 0));
        const QString tooltip = watched.Control("status")->toolTip();
        QVERIFY2(tooltip.contains(opens ? "Hamlib Dummy (model 1)" : "no radio model 999999"),
                 qPrintable(tooltip));
    }

    void firstTickShowsTheLocalTimeOfDay() {
        WatchedWindow watched(Radio(999'999), morvane::ReadLocalClock);
        QTRY_VERIFY(!watched.Text("Text1").isEmpty());
        const QString shown = watched.Text("Text1");
        const QTime now = QTime::currentTime();
        // The readout may be up to a tick old, and a second may have turned since.
        QVERIFY2(shown == now.toString("H:m:s") || shown == now.addSecs(-1).toString("H:m:s"),
                 qPrintable(shown + " at " + now.toString("H:m:s.zzz")));
    }

    void anEditChangesTheNextTickAndTheDummyRadioFollows_data() {
        QTest::addColumn<Edited>("row");
        // 23.55 s into the sweep: 2 355 000 Hz at 100 kHz/s, handed off as 2 300 000.
        const Edited rows[] = {
            {"rate 125 typed", "Combo_rate", Edited::Paste, "125", "Text6", "2900000"},
            {"rate 500 chosen", "Combo_rate", Edited::Choose, "500", "Text6", "11700000"},
            {"rate 50, parks at the band bottom", "Combo_rate", Edited::Paste, "50", "Text6",
             "2000000"},
            {"rate 75 typed, not in the table: nothing sent", "Combo_rate", Edited::Paste, "75",
             "Combo_rate", "75"},
            {"step 50 typed", "Combo_step", Edited::Paste, "50", "Text6", "2350000"},
            {"offset +1500 ms", "Slider1", Edited::Press, "End", "Text6", "2500000"},
            {"offset -1500 ms", "Slider1", Edited::Press, "Home", "Text6", "2200000"},
            {"a readout typed over is rewritten", "Text7", Edited::Paste, "abc", "Text7", "0"},
        };
        for (const Edited& row : rows) QTest::newRow(row.name) << row;
    }
    void anEditChangesTheNextTickAndTheDummyRadioFollows() {
        QFETCH(Edited, row);
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004 + 18'450, 0));
        QTRY_COMPARE(watched.Text("Text4"), "2300000");
        QWidget* control = watched.Control(row.field);
        const QStringList entries = EntriesOf(control);
        if (row.how == Edited::Paste) EnterText(control, row.text);
        if (row.how == Edited::Press) QTest::keySequence(control, QKeySequence(row.text));
        if (auto* list = qobject_cast<QComboBox*>(control); row.how == Edited::Choose) {
            list->setCurrentIndex(list->findText(row.text));
        }
        QTRY_COMPARE(watched.Text(row.shownIn), row.shows);
        QCOMPARE(EntriesOf(control), entries);  // a typed setting is never added to a list
        QTRY_COMPARE(watched.Text("Text4"), watched.Text("Text6"));  // the radio went there
        QCOMPARE(watched.Text("text2").remove('.'), watched.Text("Text4"));
    }

    void aBadOrHostileTextIsMarkedOrIgnoredWhileTheTicksGoOn_data() {
        QTest::addColumn<Pasted>("row");
        const QString digits(1 << 20, '9');  // a megabyte, too large for any number
        const Pasted rows[] = {
            {"period letters", "Combo_period", "abc", "Period: is not a number"},
            {"period of 0 s", "Combo_period", "0", "Period: rounds to 0 ms"},
            {"chirp time empty", "chirptime", "", "Chirp time: is empty"},
            {"period: a megabyte of digits", "Combo_period", digits, "Period: is too large"},
            {"chirp time: a megabyte of letters", "chirptime", QString(1 << 20, QChar(0xE9)),
             "Chirp time: is not a number"},
            {"step: half a megabyte of unpaired surrogates, no Unicode at all", "Combo_step",
             QString(1 << 19, QChar(0xD800)), "Step: is not a number"},
            // A rate not in the rate table sends nothing and is never marked.
            {"rate: a megabyte of digits", "Combo_rate", digits, ""},
            // The last frequency handed off: the next tick writes its own again.
            {"Text6: a megabyte of digits", "Text6", digits, ""},
        };
        for (const Pasted& row : rows) QTest::newRow(row.name) << row;
    }
    void aBadOrHostileTextIsMarkedOrIgnoredWhileTheTicksGoOn() {
        QFETCH(Pasted, row);
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004, 0));  // one step, sent once
        QTRY_VERIFY(watched.Text("Text4") == watched.Text("Text6"));  // the radio went there
        const QString sent = watched.Text("Text6");
        QWidget* control = watched.Control(row.field);
        const QColor normalText = control->palette().color(QPalette::Text);
        const Clock::time_point pasting = Clock::now();
        EnterText(control, row.text);
        // Cutting a megabyte to what a line edit holds is Qt's work, not counted.
        const Clock::time_point pasted = Clock::now();
        QTest::qWait(500);

        const double withoutTickMs = watched.LongestWithoutTickMsAfter(pasted);
        qInfo("paste %.0f ms, then at most %.0f ms without a tick", MsBetween(pasting, pasted),
              withoutTickMs);
        QVERIFY2(withoutTickMs < 250, "the window stopped ticking");  // a tick late, with margin
        QCOMPARE(control->toolTip(), row.why);
        QCOMPARE(control->palette().color(QPalette::Text), *row.why ? QColor(Qt::red) : normalText);
        for (const char* other : {"Combo_period", "chirptime", "Combo_rate", "Combo_step"}) {
            if (row.field != std::string_view(other)) {
                QCOMPARE(watched.Text(other), watched.InitialText(other));
            }
        }
        QCOMPARE(watched.Text("Text6"), sent);  // nothing more handed off
        QCOMPARE(watched.Text("Text4"), sent);

        EnterText(control, watched.InitialText(row.field));
        QTRY_COMPARE(control->toolTip(), "");
        QCOMPARE(control->palette().color(QPalette::Text), normalText);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
