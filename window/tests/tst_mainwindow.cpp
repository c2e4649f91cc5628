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
using morvane::testing::SteppingClock;
using morvane::testing::WatchedWindow;

namespace {

// 00:04:00.002, 5.1 s into the sweep of the initial settings; on the ticks'
// phase, so that with the clock standing still they come every 50 ms.
constexpr int k0004 = 240'002;

const HamlibOptions kDummyRadio;  // model 1

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

// An edit, what a field shows from the next tick on, and the edited field's
// tooltip then (empty: not marked).
struct Edit {
    const char* name;
    const char* field;
    enum { Paste, Choose, Press } how;
    QString text;
    const char* shownIn;
    const char* shows;
    const char* why = "";
};

}  // namespace

Q_DECLARE_METATYPE(Edit)

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Before the first tick: the record's texts, the lists, no colour behind
    // text2 while nothing is known of the link; then the boxes in pixels at 96
    // dpi, which stay put when the window grows, and the order Tab goes round.
    void opensShowingTheRecordWithItsListsBoxesAndTabOrder() {
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004, 0));
        MainWindow& window = watched.window();
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
        QCOMPARE(watched.Control("text2")->palette().color(QPalette::Base),
                 window.palette().color(QPalette::Base));
        QCOMPARE(window.windowTitle(), "Morvane V1.11");

        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(qRound(window.screen()->logicalDotsPerInch()), 96);
        QCOMPARE(window.size(), QSize(330, 243));
        window.resize(640, 480);
        QTRY_COMPARE(window.size(), QSize(640, 480));
        QCOMPARE(watched.Control("text2")->geometry(), QRect(96, 8, 121, 27));
        QCOMPARE(watched.Control("Text6")->geometry(), QRect(344, 304, 41, 19));  // beyond 330
        QVERIFY(!watched.Control("Text4")->isVisible());  // under text2, never focused
        QStringList order = {FocusedField(window)};
        for (int i = 0; i < 11; ++i, order << FocusedField(window)) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"Text5", "Text3", "text2", "chirptime", "Slider1", "Text1",
                                     "Combo_period", "Combo_rate", "Combo_step", "Text6", "Text7",
                                     "Text5"}));
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
        HamlibOptions radio;
        radio.model = model;
        WatchedWindow watched(radio, SteppingClock(k0004, 0));
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
        WatchedWindow watched(kDummyRadio, morvane::ReadLocalClock);
        QTRY_VERIFY(!watched.Text("Text1").isEmpty());
        const QString shown = watched.Text("Text1");
        const QTime now = QTime::currentTime();
        // The readout may be up to a tick old, and a second may have turned since.
        QVERIFY2(shown == now.toString("H:m:s") || shown == now.addSecs(-1).toString("H:m:s"),
                 qPrintable(shown + " at " + now.toString("H:m:s.zzz")));
    }

    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn_data() {
        QTest::addColumn<Edit>("row");
        const QString digits(1 << 20, '9');  // a megabyte, too large for any number
        // 23.55 s into the sweep: 2 355 000 Hz at 100 kHz/s, handed off as 2 300 000.
        const Edit rows[] = {
            {"rate 125 typed", "Combo_rate", Edit::Paste, "125", "Text6", "2900000"},
            {"rate 500 chosen", "Combo_rate", Edit::Choose, "500", "Text6", "11700000"},
            {"rate 75 typed, not in the list nor added to it", "Combo_rate", Edit::Paste, "75",
             "Combo_rate", "75"},
            {"step 50 typed", "Combo_step", Edit::Paste, "50", "Text6", "2350000"},
            {"offset +1500 ms", "Slider1", Edit::Press, "End", "Text6", "2500000"},
            {"offset -1500 ms", "Slider1", Edit::Press, "Home", "Text6", "2200000"},
            {"a readout typed over is rewritten", "Text7", Edit::Paste, "abc", "Text7", "0"},
            // A setting the tick cannot use: marked, and nothing more handed off.
            {"period letters", "Combo_period", Edit::Paste, "abc", "Text6", "2300000",
             "Period: is not a number"},
            {"period of 0 s", "Combo_period", Edit::Paste, "0", "Text6", "2300000",
             "Period: rounds to 0 ms"},
            {"chirp time empty", "chirptime", Edit::Paste, "", "Text6", "2300000",
             "Chirp time: is empty"},
            {"period: a megabyte of digits", "Combo_period", Edit::Paste, digits, "Text6",
             "2300000", "Period: is too large"},
            {"chirp time: a megabyte of letters", "chirptime", Edit::Paste,
             QString(1 << 20, QChar(0xE9)), "Text6", "2300000", "Chirp time: is not a number"},
            {"step: half a megabyte of unpaired surrogates, no Unicode at all", "Combo_step",
             Edit::Paste, QString(1 << 19, QChar(0xD800)), "Text6", "2300000",
             "Step: is not a number"},
            // A rate not in the rate table sends nothing and is never marked.
            {"rate: a megabyte of digits", "Combo_rate", Edit::Paste, digits, "Text6", "2300000"},
            // The last frequency handed off: the next tick writes its own again.
            {"Text6: a megabyte of digits", "Text6", Edit::Paste, digits, "Text6", "2300000"},
        };
        for (const Edit& row : rows) QTest::newRow(row.name) << row;
    }
    void anEditReachesTheNextTickOrIsMarkedWhileTheTicksGoOn() {
        QFETCH(Edit, row);
        WatchedWindow watched(kDummyRadio, SteppingClock(k0004 + 18'450, 0));
        QTRY_COMPARE(watched.Text("Text4"), "2300000");  // sent once, and the radio went there
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
        QCOMPARE(watched.Text(row.shownIn), row.shows);
        QCOMPARE(control->toolTip(), row.why);
        QCOMPARE(control->palette().color(QPalette::Text), *row.why ? QColor(Qt::red) : normalText);
        QCOMPARE(EntriesOf(control), entries);  // a typed setting is never added to a list
        for (const char* other : {"Combo_period", "chirptime", "Combo_rate", "Combo_step"}) {
            if (row.field != std::string_view(other)) {
                QCOMPARE(watched.Text(other), watched.InitialText(other));
            }
        }
        QTRY_COMPARE(watched.Text("Text4"), watched.Text("Text6"));  // the radio went there
        QCOMPARE(watched.Text("text2").remove('.'), watched.Text("Text4"));
        if (row.how != Edit::Paste) return;

        EnterText(control, watched.InitialText(row.field));
        QTRY_COMPARE(control->toolTip(), "");
        QTRY_COMPARE(watched.Text("Text6"), "2300000");
        QCOMPARE(control->palette().color(QPalette::Text), normalText);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
