// Hostile texts typed or pasted into the real window: a megabyte in a field,
// text that is not valid Unicode. The window keeps ticking, shows or cuts the
// text, marks a setting it cannot use, and leaves every other field alone.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "window/tests/window_watch.hpp"

using morvane::HamlibOptions;
using morvane::window_testing::Clock;
using morvane::window_testing::FirstAtOrAfter;
using morvane::window_testing::LargestGapMs;
using morvane::window_testing::MsBetween;
using morvane::window_testing::WatchedWindow;

namespace {

constexpr double kTickGapLimitMs = 250;  // one tick late at most, with a generous margin
constexpr int kMegabyte = 1 << 20;
// Qt's line edits hold this many characters at most; a paste is cut there.
constexpr int kLineEditLimit = 32767;

const char* const kSettings[] = {"Combo_period", "chirptime", "Combo_rate", "Combo_step"};

QLineEdit* EditOf(QWidget* control) {
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->lineEdit();
    return qobject_cast<QLineEdit*>(control);
}

// Selects what the field holds and pastes over it, as a user would.
void PasteInto(QWidget* control, const QString& text) {
    QLineEdit* edit = EditOf(control);
    QVERIFY(edit);
    QGuiApplication::clipboard()->setText(text);
    edit->selectAll();
    QTest::keySequence(edit, QKeySequence::Paste);
}

// Half a megabyte of unpaired UTF-16 surrogates: no Unicode text at all.
QString UnpairedSurrogates() {
    return QString(kMegabyte / 2, QChar(0xD800));
}

}  // namespace

class HostileTextTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void pastedTextIsCutOrMarkedWhileTheTicksGoOn_data();
    void pastedTextIsCutOrMarkedWhileTheTicksGoOn();
};

void HostileTextTest::pastedTextIsCutOrMarkedWhileTheTicksGoOn_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<bool>("marked");
    const QString digits(kMegabyte, '9');
    // A number too large for a double; a rate not in the rate table sends
    // nothing but is not marked, as an unknown rate never is.
    for (const char* setting : kSettings) {
        const bool rate = std::string_view(setting) == "Combo_rate";
        QTest::addRow("%s: a megabyte of digits", setting) << setting << digits << !rate;
    }
    QTest::newRow("chirptime: a megabyte of letters")
        << "chirptime" << QString(kMegabyte, QChar(0x00E9)) << true;
    QTest::newRow("chirptime: no valid Unicode") << "chirptime" << UnpairedSurrogates() << true;
    QTest::newRow("Combo_step: no valid Unicode") << "Combo_step" << UnpairedSurrogates() << true;
    QTest::newRow("Combo_rate: no valid Unicode") << "Combo_rate" << UnpairedSurrogates() << false;
    // The last frequency handed off: the next tick hands off its own.
    QTest::newRow("Text6: a megabyte of digits") << "Text6" << digits << false;
}

void HostileTextTest::pastedTextIsCutOrMarkedWhileTheTicksGoOn() {
    QFETCH(QString, field);
    QFETCH(QString, pasted);
    QFETCH(bool, marked);
    const QByteArray name = field.toUtf8();
    HamlibOptions dummyRadio;
    WatchedWindow watched(dummyRadio, 0);  // the clock stands still: one step, sent once
    QTRY_VERIFY(watched.Text("Text4") == watched.Text("Text6"));  // the dummy radio went there
    const QString sent = watched.Text("Text6");
    const Clock::time_point pasting = Clock::now();
    PasteInto(watched.Control(name), pasted);
    // The paste itself is Qt's work on the window's thread (cutting a megabyte
    // to what a line edit holds); from the next tick on, the program's.
    const Clock::time_point pasteDone = Clock::now();
    QTest::qWait(1000);

    const std::vector<Clock::time_point>& ticks = watched.TickTimes();
    const double largestGapMs = LargestGapMs(ticks, FirstAtOrAfter(ticks, pasteDone));
    qInfo("%s: %lld characters shown, paste %.0f ms, then largest tick gap %.0f ms",
          QTest::currentDataTag(), static_cast<long long>(watched.Text(name).size()),
          MsBetween(pasting, pasteDone), largestGapMs);
    QVERIFY2(largestGapMs < kTickGapLimitMs, "the window stopped ticking");
    QVERIFY(ticks.back() > pasteDone + std::chrono::milliseconds(800));
    QVERIFY(watched.Text(name).size() <= kLineEditLimit);
    QCOMPARE(watched.Control(name)->toolTip().isEmpty(), !marked);
    for (const char* other : kSettings) {
        if (field != other) QCOMPARE(watched.Text(other), watched.InitialText(other));
    }
    if (field == "Text6") QCOMPARE(watched.Text(name), sent);
    QCOMPARE(watched.Text("Text4"), sent);

    PasteInto(watched.Control(name), watched.InitialText(name));
    QTRY_COMPARE(watched.Control(name)->toolTip(), "");
}

QTEST_MAIN(HostileTextTest)
#include "tst_hostiletext.moc"
