// The main window as the user meets it, offscreen: real widgets, a real
// timer and Hamlib's dummy radio; only the clock is set by the test.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <set>

#include "radiolink/hand_off.hpp"
#include "window/main_window_qt.hpp"

using morvane::ClockReading;
using morvane::HamlibOptions;
using morvane::MainWindow;
using morvane::TickTiming;

namespace {

ClockReading At(int hour, int minute, int second, int millisecond = 0) {
    return {hour, minute, second, millisecond};
}

// A clock standing still at `time`; counts its readings so a test can see the ticks go on.
MainWindow::ClockSource StoppedClock(ClockReading time, const std::shared_ptr<int>& readings = {}) {
    return [time, readings] {
        if (readings) ++*readings;
        return time;
    };
}

// A clock that runs `stepMs` per reading from `start`, so the sweep moves fast.
MainWindow::ClockSource FastClock(ClockReading start, int stepMs) {
    auto ms = std::make_shared<int>(((start.hour * 60 + start.minute) * 60 + start.second) * 1000 +
                                    start.millisecond);
    return [ms, stepMs] {
        const int now = std::exchange(*ms, *ms + stepMs);
        return At(now / 3'600'000, now / 60'000 % 60, now / 1000 % 60, now % 1000);
    };
}

// A clock that reads `first` once, then `after` for good.
MainWindow::ClockSource FirstReadingThen(ClockReading first, ClockReading after) {
    auto readings = std::make_shared<int>(0);
    return [=] { return (*readings)++ == 0 ? first : after; };
}

// The window's own tick timer: its one direct QTimer child.
const QTimer* TickTimerOf(const QWidget& window) {
    const QList<QTimer*> timers = window.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    return timers.size() == 1 ? timers.front() : nullptr;
}

HamlibOptions Radio(int model) {
    HamlibOptions options;
    options.model = model;
    return options;
}
const HamlibOptions kDummyRadio = Radio(1);
const HamlibOptions kNoSuchRadio = Radio(999'999);

QWidget* ControlOf(const QWidget& window, const QString& name) {
    return window.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
}

QString TextOf(const QWidget& window, const QString& name) {
    const QWidget* control = ControlOf(window, name);
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    return "<no field " + name + ">";
}

QStringList EntriesOf(const QComboBox& list) {
    QStringList entries;
    for (int i = 0; i < list.count(); ++i) entries << list.itemText(i);
    return entries;
}

QColor BackgroundOfText2(const QWidget& window) {
    return ControlOf(window, "text2")->palette().color(QPalette::Base);
}

// Types into a field as a user would: select what is there, then type over it.
void TypeInto(QWidget* control, const QString& text) {
    auto* list = qobject_cast<QComboBox*>(control);
    QLineEdit* edit = list ? list->lineEdit() : qobject_cast<QLineEdit*>(control);
    QVERIFY(edit);
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// The name of the field that has the focus (an editable list's focus sits in its line edit).
QString FocusedField(const QWidget& window) {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w->parentWidget() == &window) return w->objectName();
    }
    return "<none>";
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void startsWithEveryInitialValue_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        const char* const rows[][2] = {{"Combo_period", "300"},
                                       {"chirptime", "235"},
                                       {"Combo_rate", "100"},
                                       {"Combo_step", "100"},
                                       {"Text7", "Text7"},
                                       {"Text3", "Text3"},
                                       {"Text5", "Text5"},
                                       {"Text1", ""},
                                       {"text2", "18.100.000"},
                                       {"Text4", "18100000"},
                                       {"Text6", "Text6"},
                                       {"status", "Status"},
                                       {"Label4", "Frequency"},
                                       {"Label2", "Period"},
                                       {"Label3", "Chirptime"},
                                       {"Label10", "Rate KHz/s"},
                                       {"Label8", "Step KHz"},
                                       {"Label6", "Offset"},
                                       {"Label9", "ms"},
                                       {"Label7", "Time"},
                                       {"Label5", "ctime (current sounder position in period)"},
                                       {"Label1", "ctime1 (Current position for Period"}};
        for (const auto& [field, text] : rows) QTest::newRow(field) << field << text;
    }
    // Before the first tick and before the link has said anything.
    void startsWithEveryInitialValue() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 0)));
        QCOMPARE(TextOf(window, field), text);
    }

    void startsWithTheListsInStoredOrder_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("period") << "Combo_period"
                                << QStringList{"60", "300", "600", "900", "1200", "1800"};
        QTest::newRow("rate") << "Combo_rate" << QStringList{"100", "125", "50", "500"};
        QTest::newRow("step") << "Combo_step" << QStringList{"100", "50", "500"};
    }
    void startsWithTheListsInStoredOrder() {
        QFETCH(QString, field);
        QFETCH(QStringList, entries);
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 0)));
        auto* list = qobject_cast<QComboBox*>(ControlOf(window, field));
        QVERIFY(list && list->isEditable());
        QCOMPARE(EntriesOf(*list), entries);
    }

    void startsWithCaptionSliderAndDefaultBackground() {
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 0)));
        QCOMPARE(window.objectName(), "Main");
        QCOMPARE(window.windowTitle(), "Morvane V1.11");
        auto* slider = qobject_cast<QSlider*>(ControlOf(window, "Slider1"));
        QVERIFY(slider);
        QCOMPARE(QList<int>({slider->minimum(), slider->value(), slider->maximum()}),
                 QList<int>({-10, 0, 10}));
        QCOMPARE(BackgroundOfText2(window), window.palette().color(QPalette::Base));
    }

    void fitsEveryCaptionInItsBox_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        for (const char* label : {"Label4", "Label2", "Label3", "Label10", "Label8", "Label6",
                                  "Label9", "Label7", "Label5", "Label1"}) {
            QTest::newRow(label) << label << QString();
        }
        QTest::newRow("connected") << "status" << QString(morvane::kConnectedStatus.data());
        QTest::newRow("not connected") << "status" << QString(morvane::kNotConnectedStatus.data());
    }
    // The boxes have fixed sizes, so a face too wide would cut captions short.
    void fitsEveryCaptionInItsBox() {
        QFETCH(QString, label);
        QFETCH(QString, text);
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0)));
        const auto* box = qobject_cast<QLabel*>(ControlOf(window, label));
        QVERIFY(box);
        if (text.isEmpty()) text = box->text();
        const int width = QFontMetrics(box->font()).horizontalAdvance(text);
        QVERIFY2(width <= box->contentsRect().width(),
                 qPrintable(QString("%1 needs %2 px of %3 in %4")
                                .arg(text)
                                .arg(width)
                                .arg(box->contentsRect().width())
                                .arg(QFontInfo(box->font()).family())));
    }

    void opensWithFocusInText5AndTabsInOrder() {
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 0)));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QStringList order{FocusedField(window)};
        for (int i = 0; i < 11; ++i) {
            QVERIFY(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << FocusedField(window);
        }
        // Text4 is never reached, and the eleventh Tab comes round to Text5 again.
        QCOMPARE(order, (QStringList{"Text5", "Text3", "text2", "chirptime", "Slider1", "Text1",
                                     "Combo_period", "Combo_rate", "Combo_step", "Text6", "Text7",
                                     "Text5"}));
    }

    void placesFieldsInPixelsAt96Dpi_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QRect>("pixels");
        QTest::addColumn<bool>("shown");
        QTest::newRow("text2") << "text2" << QRect(96, 8, 121, 27) << true;
        QTest::newRow("Text4, hidden under text2") << "Text4" << QRect(96, 8, 121, 27) << false;
        QTest::newRow("Combo_period") << "Combo_period" << QRect(96, 40, 57, 21) << true;
        QTest::newRow("Slider1") << "Slider1" << QRect(96, 152, 121, 17) << true;
        QTest::newRow("status") << "status" << QRect(8, 208, 313, 25) << true;
        // Below or right of the initial 330 x 243, seen once the window is enlarged.
        QTest::newRow("Label5") << "Label5" << QRect(16, 264, 225, 17) << true;
        QTest::newRow("Text3") << "Text3" << QRect(248, 264, 57, 23) << true;
        QTest::newRow("Label1") << "Label1" << QRect(16, 296, 225, 17) << true;
        QTest::newRow("Text5") << "Text5" << QRect(248, 296, 57, 19) << true;
        QTest::newRow("Text6") << "Text6" << QRect(344, 304, 41, 19) << true;
    }
    // Fields stay where they are when the window is resized.
    void placesFieldsInPixelsAt96Dpi() {
        QFETCH(QString, field);
        QFETCH(QRect, pixels);
        QFETCH(bool, shown);
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 0)));
        QCOMPARE(qRound(window.screen()->logicalDotsPerInch()), 96);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(330, 243));
        QWidget* control = ControlOf(window, field);
        QCOMPARE(control->geometry(), pixels);
        QCOMPARE(control->isVisible(), shown);
        window.resize(640, 480);
        QTRY_COMPARE(window.size(), QSize(640, 480));
        QCOMPARE(control->geometry(), pixels);
    }

    void firstTickShowsOffsetTimeAndReadouts_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("ctime");
        QTest::addColumn<QString>("ctime1");
        QTest::newRow("decimal point") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "5.1"
                                       << "240.1";
        QTest::newRow("decimal comma") << QLocale(QLocale::German, QLocale::Germany) << "5,1"
                                       << "240,1";
    }
    void firstTickShowsOffsetTimeAndReadouts() {
        QFETCH(QLocale, locale);
        QFETCH(QString, ctime);
        QFETCH(QString, ctime1);
        const QLocale before;
        QLocale::setDefault(locale);
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0)));
        QLocale::setDefault(before);
        QTRY_COMPARE(TextOf(window, "Text7"), "0");
        QCOMPARE(TextOf(window, "Text1"), "0:4:0");
        QCOMPARE(TextOf(window, "Text3"), ctime);
        QCOMPARE(TextOf(window, "Text5"), ctime1);
    }

    void firstTickShowsTheLocalTimeOfDay() {
        MainWindow window(kNoSuchRadio);
        QTRY_VERIFY(!TextOf(window, "Text1").isEmpty());
        const QString shown = TextOf(window, "Text1");
        const QTime now = QTime::currentTime();
        // The readout may be up to a tick old, and a second may have turned since.
        QVERIFY2(shown == now.toString("H:m:s") || shown == now.addSecs(-1).toString("H:m:s"),
                 qPrintable(shown + " at " + now.toString("H:m:s.zzz")));
    }

    void statusAndColourFollowTheLink_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QString>("radioNamed");
        QTest::newRow("dummy radio opens") << 1 << QString(morvane::kConnectedStatus.data())
                                           << QColor(0, 255, 0) << "Hamlib Dummy (model 1)";
        QTest::newRow("no such radio") << 999'999 << QString(morvane::kNotConnectedStatus.data())
                                       << QColor(255, 0, 0) << "no radio model 999999";
    }
    void statusAndColourFollowTheLink() {
        QFETCH(int, model);
        QFETCH(QString, status);
        QFETCH(QColor, background);
        QFETCH(QString, radioNamed);
        MainWindow window(Radio(model), StoppedClock(At(0, 4, 0)));
        QTRY_COMPARE(TextOf(window, "Text7"), "0");  // the first tick
        QTRY_COMPARE(TextOf(window, "status"), status);
        QCOMPARE(BackgroundOfText2(window), background);
        QVERIFY2(ControlOf(window, "status")->toolTip().contains(radioNamed),
                 qPrintable(ControlOf(window, "status")->toolTip()));
    }

    void editedRateOrStepChangesTheNextCandidate_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("chosenFromList");
        QTest::addColumn<QString>("candidate");
        // 23.56 s into the sweep: 2 356 000 Hz at 100 kHz/s, handed off as 2 300 000.
        QTest::newRow("rate 125 typed") << "Combo_rate"
                                        << "125" << false << "2900000";
        QTest::newRow("rate 500 chosen") << "Combo_rate"
                                         << "500" << true << "11700000";
        QTest::newRow("rate 50 typed, parks at the band bottom") << "Combo_rate"
                                                                 << "50" << false << "2000000";
        QTest::newRow("step 50 typed") << "Combo_step"
                                       << "50" << false << "2350000";
        QTest::newRow("step 50 chosen") << "Combo_step"
                                        << "50" << true << "2350000";
    }
    void editedRateOrStepChangesTheNextCandidate() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, chosenFromList);
        QFETCH(QString, candidate);
        MainWindow window(kDummyRadio, StoppedClock(At(0, 4, 18, 460)));
        QTRY_COMPARE(TextOf(window, "Text6"), "2300000");
        auto* list = qobject_cast<QComboBox*>(ControlOf(window, field));
        if (chosenFromList) {
            list->setCurrentIndex(list->findText(text));
        } else {
            TypeInto(list, text);
        }
        QTRY_COMPARE(TextOf(window, "Text6"), candidate);
        QTRY_COMPARE(TextOf(window, "Text4"), candidate);  // the dummy radio went there
    }

    // The reading before the first tick asks for 2 ms (0 ms past the second);
    // every tick after reads 30 ms past it, 22 ms before the next mark at 52.
    void eachTickArmsOneShotForTheClocksNextMark() {
        MainWindow window(kNoSuchRadio, FirstReadingThen(At(0, 4, 0, 0), At(0, 4, 1, 30)));
        const QTimer* timer = TickTimerOf(window);
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 2);
        QTRY_COMPARE(TextOf(window, "Text1"), "0:4:1");
        QVERIFY(timer->isSingleShot());
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QCOMPARE(timer->interval(), 22);
        QVERIFY(timer->isActive());
    }

    void freeRunningRepeatsEvery50MsWhateverTheClockSays() {
        auto readings = std::make_shared<int>(0);
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0, 30), readings),
                          TickTiming::FreeRunning);
        const QTimer* timer = TickTimerOf(window);
        QVERIFY(timer);
        QTRY_VERIFY(*readings >= 3);
        QVERIFY(!timer->isSingleShot());
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QCOMPARE(timer->interval(), 50);
        QVERIFY(timer->isActive());
    }

    void sliderMovesTheOffset() {
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0)));
        auto* slider = qobject_cast<QSlider*>(ControlOf(window, "Slider1"));
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(slider->value(), 10);
        QTRY_COMPARE(TextOf(window, "Text7"), "1500");
        QCOMPARE(TextOf(window, "Text3"), "6.6");  // 5.1 s into the sweep, moved on by 1.5 s
    }

    void aReadoutTypedOverIsRewrittenByTheNextTick() {
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0)));
        QTRY_COMPARE(TextOf(window, "Text7"), "0");
        TypeInto(ControlOf(window, "Text7"), "abc");
        QTRY_COMPARE(TextOf(window, "Text7"), "0");
    }

    void typedTextIsNeverAddedToAList() {
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0)));
        auto* list = qobject_cast<QComboBox*>(ControlOf(window, "Combo_rate"));
        TypeInto(list, "75");
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        QCOMPARE(EntriesOf(*list), (QStringList{"100", "125", "50", "500"}));
        QTRY_COMPARE(TextOf(window, "Text7"), "0");
        QCOMPARE(TextOf(window, "Combo_rate"), "75");  // the tick left the typed text alone
    }

    void badSettingIsMarkedWhileTicksGoOn_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("why");
        QTest::addColumn<QString>("good");
        QTest::newRow("period letters") << "Combo_period"
                                        << "abc"
                                        << "Period: is not a number"
                                        << "300";
        QTest::newRow("period empty") << "Combo_period"
                                      << ""
                                      << "Period: is empty"
                                      << "300";
        QTest::newRow("period of 0 s") << "Combo_period"
                                       << "0"
                                       << "Period: rounds to 0 ms"
                                       << "300";
        QTest::newRow("chirp time letters") << "chirptime"
                                            << "x"
                                            << "Chirp time: is not a number"
                                            << "235";
        QTest::newRow("step empty") << "Combo_step"
                                    << ""
                                    << "Step: is empty"
                                    << "100";
    }
    void badSettingIsMarkedWhileTicksGoOn() {
        QFETCH(QString, field);
        QFETCH(QString, bad);
        QFETCH(QString, why);
        QFETCH(QString, good);
        auto readings = std::make_shared<int>(0);
        MainWindow window(kNoSuchRadio, StoppedClock(At(0, 4, 0), readings));
        QWidget* control = ControlOf(window, field);
        const QColor normalText = control->palette().color(QPalette::Text);
        QTRY_COMPARE(TextOf(window, "Text5"), "240.1");
        TypeInto(control, bad);
        QTRY_COMPARE(control->toolTip(), why);
        QCOMPARE(control->palette().color(QPalette::Text), QColor(Qt::red));
        const int readingsWhenMarked = *readings;
        QTRY_VERIFY(*readings > readingsWhenMarked + 2);
        QCOMPARE(control->toolTip(), why);
        TypeInto(control, good);
        QTRY_COMPARE(control->toolTip(), "");
        QCOMPARE(control->palette().color(QPalette::Text), normalText);
        QCOMPARE(TextOf(window, "Text5"), "240.1");
    }

    // The sweep runs six times as fast as the clock, so new candidates keep coming.
    void dummyRadioReportsTheRetunesBack() {
        MainWindow window(kDummyRadio, FastClock(At(0, 4, 15), 300));
        QSignalSpy sent(qobject_cast<QLineEdit*>(ControlOf(window, "Text6")),
                        &QLineEdit::textChanged);
        QSignalSpy reported(qobject_cast<QLineEdit*>(ControlOf(window, "Text4")),
                            &QLineEdit::textChanged);
        std::set<QString> reportedAfterRetune;
        const auto fiveReports = [&] {
            for (; !reported.isEmpty(); reported.removeFirst()) {
                const QString hertz = reported.first().first().toString();
                if (hertz != "145000000") reportedAfterRetune.insert(hertz);  // the dummy's own
            }
            return reportedAfterRetune.size() >= 5;
        };
        QTRY_VERIFY_WITH_TIMEOUT(fiveReports(), 15'000);
        std::set<QString> candidates;
        for (const QList<QVariant>& change : sent) candidates.insert(change.first().toString());
        for (const QString& hertz : reportedAfterRetune) {
            QVERIFY2(candidates.count(hertz) == 1, qPrintable(hertz + " was never sent"));
        }
        QCOMPARE(TextOf(window, "text2").remove('.'), TextOf(window, "Text4"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
