// The real morvane program, started as a user starts it.
#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "testsupport/rigctld_proxy.hpp"

using namespace morvane::testing;

namespace {

constexpr int kStartLimitMs = 10'000;

// The sockets a process holds, as `ss` lists them: TCP, UDP, raw and unix, in
// every state ("tcp ESTAB 0 0 127.0.0.1:40000 127.0.0.1:4532 ...").
QStringList SocketsOf(qint64 pid) {
    QProcess ss;
    ss.start("ss", {"-anptuwxH"});
    ss.waitForFinished(5000);
    const QStringList all = QString(ss.readAllStandardOutput()).split('\n');
    return all.filter(QString("pid=%1,").arg(pid)).replaceInStrings(QRegularExpression(" +"), " ");
}

// Whether a process has said `text` on standard error, all of which gathers in `said`.
bool Said(QProcess& process, QString& said, const QString& text) {
    said += process.readAllStandardError();
    return said.contains(text);
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    // A bad option exits with status 2 and one line naming it. On a platform Qt
    // does not have, a program that tried to open a window would say there is
    // no display, so a clean exit shows it stopped before any window. A radio
    // that does not open, which Hamlib calls an input/output error whatever the
    // cause, is named once while the program tries again (or gives up when
    // trying cannot help).
    void answersBeforeAnyWindowOrNamesWhyTheRadioDoesNotOpen_data() {
        QTest::addColumn<QString>("arguments");  // %1: a device its user may not open
        QTest::addColumn<int>("status");         // -1: runs on
        QTest::addColumn<QString>("said");       // status 0: on stdout; else all of stderr, or once
        const QString noDisplay = "no display to open the window on; QT_QPA_PLATFORM=offscreen";
        QTest::newRow("unknown option")
            << "--frequency 1" << 2
            << "morvane: unknown option '--frequency'; try 'morvane --help'\n";
        QTest::newRow("version") << "-V" << 0 << "Morvane V1.11\n";
        QTest::newRow("list") << "--list" << 0 << "NET rigctl";
        QTest::newRow("no display")
            << "-m 1" << 1 << "morvane: " + noDisplay + " runs it without one\n";
        QTest::newRow("no such device")
            << "-m 2014 -r /dev/ttyNone" << -1 << "no such device /dev/ttyNone; trying again";
        QTest::newRow("connection refused")
            << "-m 2 -r 127.0.0.1:1" << -1 << "connection refused at 127.0.0.1:1; trying again";
        QTest::newRow("permission denied")
            << "-m 2014 -r %1" << -1
            << "cannot open: permission denied for %1; join the dialout group";
    }
    void answersBeforeAnyWindowOrNamesWhyTheRadioDoesNotOpen() {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QTemporaryFile device;
        QVERIFY(device.open() && device.setPermissions({}));
        said = said.arg(device.fileName());
        QStringList command = (MORVANE_PROGRAM " " + arguments.arg(device.fileName())).split(' ');
        // Root may open any device: the program runs as another user then.
        if (geteuid() == 0)
            command =
                QString("setpriv --reuid=65534 --regid=65534 --clear-groups").split(' ') + command;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (status != 1) environment.insert("QT_QPA_PLATFORM", status < 0 ? "offscreen" : "none");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(command.takeFirst(), command);
        QString err;
        if (status < 0) {
            QTRY_VERIFY2_WITH_TIMEOUT(Said(program, err, said), qPrintable(err), kStartLimitMs);
            QTest::qWait(2500);  // another try at least
            QVERIFY2(!Said(program, err, "\n\n") && err.count(said) == 1, qPrintable(err));
            QCOMPARE(program.state(), QProcess::Running);
            program.terminate();
        }
        QVERIFY(program.waitForFinished(kStartLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        if (status < 0) return;
        QCOMPARE(program.exitCode(), status);
        const QString out = program.readAllStandardOutput();
        err = program.readAllStandardError();
        QVERIFY2(status == 0 ? out.contains(said) && err.isEmpty() : out.isEmpty() && err == said,
                 qPrintable(out.left(200) + err));
    }

    void drivesItsRadioListeningOnNothingUntilASignalClosesIt_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("utc");        // the sounder's schedule: in UTC, or local time
        QTest::addColumn<bool>("trickling");  // the peer, once the radio is on a step
        QTest::newRow("SIGTERM") << SIGTERM << false << false;
        QTest::newRow("SIGINT, UTC") << SIGINT << true << false;
        QTest::newRow("SIGHUP") << SIGHUP << false << false;
        QTest::newRow("SIGTERM, a peer trickling") << SIGTERM << true << true;
    }
    // morvane follows the sweep on the radio behind rigctld. While it runs, it
    // listens on nothing, and its one TCP connection goes where -r points. A
    // signal closes it as its close button does: the radio is closed, and the
    // program ends with status 0 within 1 s, whatever the peer does.
    void drivesItsRadioListeningOnNothingUntilASignalClosesIt() {
        QFETCH(int, signal);
        QFETCH(bool, utc);
        QFETCH(bool, trickling);
        QTemporaryDir logs;
        const QString log = logs.filePath("rigctld.log");
        RigctldProcess rigctld("-vvvvv 2>" + log.toStdString());
        std::optional<RigctldProxy> proxy;
        if (trickling) proxy.emplace(rigctld);
        const QString address = (proxy ? proxy->address() : rigctld.address()).c_str();
        // 6 s into a sweep at 500 kHz/s: 3 MHz, and a step more every second up to 16 MHz.
        // By the other time of day, 5:45 off, it is 15 minutes on: the radio waits at 2 MHz.
        const QDateTime now = QDateTime::currentDateTime();
        const int second = QTime(0, 0).secsTo(utc ? now.toUTC().time() : now.time());
        QStringList arguments =
            QString("-m 2 -r %1 --period 1800 --chirptime %2 --rate 500 --step 500 --offset 0")
                .arg(address)
                .arg((second + 1794) % 1800)
                .split(' ');
        if (utc) arguments << "--utc";
        QProcess program;
        program.start(MORVANE_PROGRAM, arguments);
        QString said;
        QTRY_VERIFY2_WITH_TIMEOUT(Said(program, said, "NET rigctl (model 2) at " + address + "\n"),
                                  qPrintable(said), kStartLimitMs);
        const auto radioOnAStep = [&] {
            const long long hertz = rigctld.Frequency().value_or(0);
            return hertz > 2'000'000 && hertz % 500'000 == 0;
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
            QFile rigctldSaid(log);
            return rigctldSaid.open(QIODevice::ReadOnly) && rigctldSaid.readAll().contains("quit");
        };
        QTRY_VERIFY(proxy || quitSaid());
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
