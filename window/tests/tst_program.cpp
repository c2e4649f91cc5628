// The real morvane program, started as a user starts it.
#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>
#include <optional>

#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"

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

// A command line that must end before any window, or at it when there is no
// display: its exit status, what it prints on standard output, and the whole
// of what it prints on standard error.
struct Answer {
    const char* arguments;  // split at blanks
    int status;
    const char* out;
    const char* err;
    const char* platform = "none";  // QT_QPA_PLATFORM; null: no display of any kind
};

// A radio that does not open, and why, as the program says it on standard error.
struct Unopened {
    const char* arguments;  // split at blanks; %device: a device only root may open
    const char* cause;
    bool asOtherUser = false;  // root may open any device
};

}  // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Unopened)

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void answersAndExitsBeforeAnyWindow_data() {
        QTest::addColumn<Answer>("row");
        const char* noDisplay =
            "morvane: no display to open the window on; QT_QPA_PLATFORM=offscreen runs it "
            "without one\n";
        QTest::newRow("unknown option")
            << Answer{"--frequency 14074000", 2, "",
                      "morvane: unknown option '--frequency'; try 'morvane --help'\n"};
        QTest::newRow("version") << Answer{"-V", 0, "Morvane V1.11\n", ""};
        QTest::newRow("list") << Answer{"--list", 0, "NET rigctl", ""};
        QTest::newRow("no display") << Answer{"-m 1", 1, "", noDisplay, nullptr};
    }
    // A bad option exits with status 2 and one line naming it. On a platform Qt
    // does not have, a program that tried to open a window would say there is
    // no display, so a clean exit shows it stopped before any window.
    void answersAndExitsBeforeAnyWindow() {
        QFETCH(Answer, row);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        if (row.platform) environment.insert("QT_QPA_PLATFORM", row.platform);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(MORVANE_PROGRAM, QString(row.arguments).split(' '));
        QVERIFY(program.waitForFinished(kStartLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), row.status);
        const QString out = program.readAllStandardOutput();
        QVERIFY2(*row.out ? out.contains(row.out) : out.isEmpty(), qPrintable(out.left(200)));
        QCOMPARE(QString(program.readAllStandardError()), row.err);
    }

    void namesWhyTheRadioDoesNotOpenOnce_data() {
        QTest::addColumn<Unopened>("row");
        QTest::newRow("no such device") << Unopened{
            "-m 2014 -r /dev/ttyNoSuchRadio", "no such device /dev/ttyNoSuchRadio; trying again"};
        QTest::newRow("connection refused")
            << Unopened{"-m 2 -r 127.0.0.1:1", "connection refused at 127.0.0.1:1; trying again"};
        QTest::newRow("permission denied")
            << Unopened{"-m 2014 -r %device",
                        "cannot open: permission denied for %device; join the dialout group", true};
    }
    // Hamlib calls each of these an input/output error. The program names the
    // cause, once, while it keeps trying (or gives up when trying cannot help).
    void namesWhyTheRadioDoesNotOpenOnce() {
        QFETCH(Unopened, row);
        QTemporaryFile device;
        QVERIFY(device.open() && device.setPermissions({}));
        QString program = MORVANE_PROGRAM;
        QStringList arguments =
            QString(row.arguments).replace("%device", device.fileName()).split(' ');
        if (row.asOtherUser && geteuid() == 0) {
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} +
                        arguments;
            program = "setpriv";
        }
        QProcess morvane;
        morvane.start(program, arguments);
        const QString cause = QString(row.cause).replace("%device", device.fileName());
        QString told;
        const auto causeNamed = [&] {
            told += morvane.readAllStandardError();
            return told.contains(cause);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(causeNamed(), qPrintable(told), kStartLimitMs);
        QTest::qWait(2500);  // another try at least
        told += morvane.readAllStandardError();
        QVERIFY2(told.count(cause) == 1, qPrintable(told));
        QCOMPARE(morvane.state(), QProcess::Running);
        morvane.terminate();
        QVERIFY(morvane.waitForFinished());
    }

    void drivesItsRadioListeningOnNothingUntilASignalClosesIt_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("trickling");  // the peer, once the radio is on a step
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGTERM, a peer trickling") << SIGTERM << true;
    }
    // morvane -m 2 -r follows the sweep on the radio behind rigctld. While it
    // runs, morvane listens on nothing, and its one TCP connection goes where -r
    // points. A signal closes it as its close button does: the radio is closed,
    // and the program ends with status 0 within 1 s, whatever the peer does.
    void drivesItsRadioListeningOnNothingUntilASignalClosesIt() {
        QFETCH(int, signal);
        QFETCH(bool, trickling);
        QTemporaryDir logs;
        const QString log = logs.filePath("rigctld.log");
        morvane::testing::RigctldProcess rigctld("-vvvvv 2>" + log.toStdString());
        std::optional<morvane::testing::RigctldProxy> proxy;
        if (trickling) proxy.emplace(rigctld);
        const QString address =
            QString::fromStdString(proxy ? proxy->address() : rigctld.address());
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
        if (proxy) proxy->Trickle();
        QTest::qWait(100);
        kill(static_cast<pid_t>(program.processId()), signal);
        QVERIFY2(program.waitForFinished(1000), "still running 1 s after the signal");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // Hamlib closes a networked radio with "q" to rigctld; a process that is killed does not.
        const auto quitSaid = [&log] {
            QFile said(log);
            return said.open(QIODevice::ReadOnly) && said.readAll().contains("quit");
        };
        if (!proxy) QTRY_VERIFY(quitSaid());
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
