// The real morvane program, started as a user starts it.
#include <QProcess>
#include <QtTest>

#include "testsupport/rigctld_process.hpp"

namespace {

constexpr int kStartLimitMs = 10'000;

QProcessEnvironment OnPlatform(const char* platform) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", platform);
    return environment;
}

// The sockets a process holds, one line each as `ss` lists them: TCP, UDP,
// raw and unix, in every state ("tcp ESTAB 0 0 127.0.0.1:40000 127.0.0.1:4532 ...").
QList<QStringList> SocketsOf(qint64 pid) {
    QProcess ss;
    ss.start("ss", {"-anptuwxH"});
    QList<QStringList> sockets;
    if (!ss.waitForFinished(5000)) return {{"ss did not answer"}};
    for (const QString& line : QString(ss.readAllStandardOutput()).split('\n')) {
        if (line.contains(QString("pid=%1,").arg(pid))) sockets << line.simplified().split(' ');
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
        QProcess program;
        program.setProcessEnvironment(OnPlatform("none"));
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
        QProcess program;
        program.setProcessEnvironment(OnPlatform("offscreen"));
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
        const QList<QStringList> rigctldSockets = SocketsOf(rigctld.pid());
        QVERIFY(std::any_of(rigctldSockets.begin(), rigctldSockets.end(),
                            [](const QStringList& socket) { return socket.value(1) == "LISTEN"; }));
        for (int look = 0; look < 3; ++look, QTest::qWait(500)) {
            int connections = 0;
            for (const QStringList& socket : SocketsOf(program.processId())) {
                const QString what = socket.join(' ');
                QVERIFY2(socket.value(1) != "LISTEN", qPrintable(what));
                QVERIFY2(socket[0] == "tcp" || socket[0].startsWith("u_"), qPrintable(what));
                if (socket[0] != "tcp") continue;
                ++connections;
                QCOMPARE(socket.value(1), "ESTAB");
                QCOMPARE(socket.value(5), address);
            }
            QCOMPARE(connections, 1);
        }
        program.terminate();
        QVERIFY(program.waitForFinished());
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
