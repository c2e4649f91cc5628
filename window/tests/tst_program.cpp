// The real morvane program, started as a user starts it.
#include <QProcess>
#include <QtTest>

#include "testsupport/rigctld_process.hpp"

namespace {

constexpr int kStartLimitMs = 10'000;

// An environment where a window cannot open: a program that tried would
// abort, so a clean exit shows it stopped before any window.
QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    return environment;
}

struct Finished {
    int status;
    QString out;
    QString err;
};

Finished Run(const QStringList& arguments) {
    QProcess program;
    program.setProcessEnvironment(WithoutDisplay());
    program.start(MORVANE_PROGRAM, arguments);
    if (!program.waitForFinished(kStartLimitMs)) program.kill();
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

bool IsStepOnTheBand(long long hertz) {
    return hertz >= 2'000'000 && hertz <= 30'000'000 && hertz % 100'000 == 0;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void refusesABadOptionWithStatusTwoBeforeAnyWindow_data();
    void refusesABadOptionWithStatusTwoBeforeAnyWindow();
    void answersHelpVersionAndListWithoutAWindow_data();
    void answersHelpVersionAndListWithoutAWindow();
    void drivesARealRigctld();
};

void ProgramTest::refusesABadOptionWithStatusTwoBeforeAnyWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    const auto row = [](const char* name, const QStringList& arguments, const char* problem) {
        QTest::newRow(name) << arguments
                            << QString("morvane: %1; try 'morvane --help'\n").arg(problem);
    };
    row("unknown option", {"--frequency", "14074000"}, "unknown option '--frequency'");
    row("missing value", {"-r"}, "option '-r' needs a value");
    row("non-numeric model", {"-m", "ic7300"}, "model 'ic7300' is not a number");
    row("unknown model", {"--model=999999"}, "Hamlib has no radio model 999999");
    row("bad baud", {"-s", "9k6"}, "serial speed '9k6' is not a number of baud");
    row("setting without '='", {"-C", "timeout"}, "option '-C' needs NAME=VALUE, not 'timeout'");
}

void ProgramTest::refusesABadOptionWithStatusTwoBeforeAnyWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    const Finished finished = Run(arguments);
    QCOMPARE(finished.status, 2);
    QCOMPARE(finished.err, line);
    QCOMPARE(finished.out, "");
}

void ProgramTest::answersHelpVersionAndListWithoutAWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("shows");
    QTest::newRow("version") << QStringList{"-V"} << "Morvane V1.11\n";
    QTest::newRow("help") << QStringList{"--help"} << "-m, --model ID";
    QTest::newRow("list") << QStringList{"--list"} << "NET rigctl";
}

void ProgramTest::answersHelpVersionAndListWithoutAWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, shows);
    const Finished finished = Run(arguments);
    QCOMPARE(finished.status, 0);
    QVERIFY2(finished.out.contains(shows), qPrintable(finished.out));
    QCOMPARE(finished.err, "");
}

// morvane -m 2 -r 127.0.0.1:PORT follows the sweep on the radio behind rigctld.
void ProgramTest::drivesARealRigctld() {
    morvane::testing::RigctldProcess rigctld;
    QCOMPARE(rigctld.Frequency(), 145'000'000LL);  // the dummy radio's own frequency
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(MORVANE_PROGRAM, {"-m", "2", "-r", QString::fromStdString(rigctld.address())});
    QVERIFY(program.waitForStarted());
    // rigctld 4.5 now and then drops a probe while another client is connected;
    // such a probe keeps the last reading.
    long long frequency = 0;
    const auto retuned = [&] {
        frequency = rigctld.Frequency().value_or(frequency);
        return IsStepOnTheBand(frequency);
    };
    QString told;
    QTRY_VERIFY2_WITH_TIMEOUT(retuned(), qPrintable(told += program.readAllStandardError()),
                              kStartLimitMs);
    program.terminate();
    QVERIFY(program.waitForFinished());
    told += QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(told.contains(QString("NET rigctl (model 2) at %1\n").arg(rigctld.address().c_str())),
             qPrintable(told));
}

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
