// The real morvane program, started as a user starts it.
#include <QProcess>
#include <QtTest>

#include "testsupport/rigctld_process.hpp"

namespace {

constexpr int kStartLimitMs = 10'000;

// The sockets a process holds, one line each as `ss` lists them: TCP, UDP,
// raw and unix, in every state ("tcp ESTAB 0 0 127.0.0.1:40000 127.0.0.1:4532 ...").
QStringList SocketsOf(qint64 pid) {
    QProcess ss;
    ss.start("ss", {"-anptuwxH"});
    if (!ss.waitForFinished(5000)) return {"ss did not answer"};
    QStringList sockets;
    for (const QString& line : QString(ss.readAllStandardOutput()).split('\n')) {
        if (line.contains(QString("pid=%1,").arg(pid))) sockets << line.simplified();
    }
    return sockets;
}

// A command line that must end before any window: what it prints on standard
// output, or the problem it names in its one line on standard error.
struct Answer {
    const char* arguments;  // split at blanks
    const char* out;
    const char* problem;
};

}  // namespace

Q_DECLARE_METATYPE(Answer)

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void answersAndExitsBeforeAnyWindow_data() {
        QTest::addColumn<Answer>("row");
        QTest::newRow("unknown option")
            << Answer{"--frequency 14074000", "", "unknown option '--frequency'"};
        QTest::newRow("version") << Answer{"-V", "Morvane V1.11\n", nullptr};
        QTest::newRow("list") << Answer{"--list", "NET rigctl", nullptr};
    }
    // A bad option exits with status 2 and one line naming it. On a platform Qt
    // does not have, a program that tried to open a window would abort, so a
    // clean exit shows it stopped before any window.
    void answersAndExitsBeforeAnyWindow() {
        QFETCH(Answer, row);
        qputenv("QT_QPA_PLATFORM", "none");
        QProcess program;
        program.start(MORVANE_PROGRAM, QString(row.arguments).split(' '));
        QVERIFY(program.waitForFinished(kStartLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), row.problem ? 2 : 0);
        const QString out = program.readAllStandardOutput();
        QVERIFY2(*row.out ? out.contains(row.out) : out.isEmpty(), qPrintable(out.left(200)));
        QCOMPARE(
            QString(program.readAllStandardError()),
            row.problem ? QString("morvane: %1; try 'morvane --help'\n").arg(row.problem) : "");
    }

    // morvane -m 2 -r follows the sweep on the radio behind rigctld. While it
    // runs, morvane listens on nothing, and its one TCP connection goes where -r points.
    void drivesItsRadioListeningOnNothingAndConnectingOnlyWhereTold() {
        morvane::testing::RigctldProcess rigctld;
        const QString address = QString::fromStdString(rigctld.address());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QProcess program;
        program.start(MORVANE_PROGRAM, {"-m", "2", "-r", address});
        QVERIFY(program.waitForStarted());
        QString told;
        const auto radioNamed = [&] {
            told += program.readAllStandardError();
            return told.contains("NET rigctl (model 2) at " + address + "\n");
        };
        QTRY_VERIFY2_WITH_TIMEOUT(radioNamed(), qPrintable(told), kStartLimitMs);
        const auto radioOnAStep = [&] {
            const long long hertz = rigctld.Frequency().value_or(0);
            return hertz >= 2'000'000 && hertz <= 30'000'000 && hertz % 100'000 == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(radioOnAStep(), kStartLimitMs);

        // The probe does see a listening socket where there is one: rigctld's.
        QVERIFY(!SocketsOf(rigctld.pid()).filter(" LISTEN ").isEmpty());
        for (int look = 0; look < 3; ++look, QTest::qWait(500)) {
            const QStringList sockets = SocketsOf(program.processId());
            const QStringList network = sockets.filter(QRegularExpression("^(?!u_)"));  // not unix
            QVERIFY2(sockets.filter(" LISTEN ").isEmpty(), qPrintable(sockets.join('\n')));
            QVERIFY2(network.size() == 1 && network[0].startsWith("tcp ESTAB ") &&
                         network[0].section(' ', 5, 5) == address,
                     qPrintable(network.join('\n')));
        }
        program.terminate();
        QVERIFY(program.waitForFinished());
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
