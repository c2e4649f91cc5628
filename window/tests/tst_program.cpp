// SPDX-License-Identifier: GPL-3.0-or-later
// The real morvane program, started as a user starts it.
#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport/rigctld.hpp"

using namespace morvane::testing;

// The sockets a process holds, as `ss` lists them: TCP, UDP, raw and unix, in
// every state ("tcp ESTAB 0 0 127.0.0.1:40000 127.0.0.1:4532 ...").
static QStringList SocketsOf(qint64 pid) {
    QProcess ss;
    ss.startCommand("ss -anptuwxH");
    QStringList all = QString(ss.waitForFinished() ? ss.readAll() : "").split('\n');
    return all.filter(QString("pid=%1,").arg(pid)).replaceInStrings(QRegularExpression(" +"), " ");
}

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void answersBeforeAnyWindowOrNamesWhyTheRadioDoesNotOpen_data() {
        QTest::addColumn<QString>("arguments");  // %1: a device its user may not open
        QTest::addColumn<int>("status");         // -1: runs on
        QTest::addColumn<QString>("said");       // once (on stdout for 0); all stderr for 1, 2
        QTest::newRow("unknown option")
            << "--frequency 1" << 2
            << "morvane: unknown option '--frequency'; try 'morvane --help'\n";
        QTest::newRow("version")
            << "-V" << 0 << "Morvane V1.11\nCopyright (C) 2026 The Morvane developers\nLicense GPL-3.0-or-later";
        QTest::newRow("list") << "--list" << 0 << "NET rigctl";
        QTest::newRow("no display") << "-m 1" << 1
                                    << "morvane: no display to open the window on; "
                                       "QT_QPA_PLATFORM=offscreen runs it without one\n";
        QTest::newRow("no such device")
            << "-m 2014 -r /dev/ttyNone" << -1 << "no such device /dev/ttyNone; trying again";
        QTest::newRow("connection refused")
            << "-m 2 -r 127.0.0.1:1" << -1 << "connection refused at 127.0.0.1:1; trying again";
        QTest::newRow("permission denied")
            << "-m 2014 -r %1" << -1
            << "cannot open: permission denied for %1; join the dialout group";
    }
    // On a platform Qt lacks, a window would fail with "no display": a clean exit shows none
    // was tried. Hamlib calls every open failure an I/O error; the program names the cause
    // once while it tries again (or gives up when trying cannot help).
    void answersBeforeAnyWindowOrNamesWhyTheRadioDoesNotOpen() {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QTemporaryFile device;
        QVERIFY(device.open() && device.setPermissions({}));
        // Only the rows that name the device have a %1 to fill.
        const auto withDevice = [&](QString text) {
            return text.contains("%1") ? text.arg(device.fileName()) : text;
        };
        said = withDevice(said);
        const char* platform = status == 1 ? "" : (status < 0 ? "offscreen" : "none");
        QString command = QString("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=%1 %2 %3")
                              .arg(platform, MORVANE_PROGRAM, withDevice(arguments));
        // Root may open any device: the program runs as another user then.
        if (geteuid() == 0) command.prepend("setpriv --reuid=65534 --regid=65534 --clear-groups ");
        QProcess program;
        program.startCommand(command);
        if (status < 0) {  // it says why, tries again at least once, and runs on
            program.setReadChannel(QProcess::StandardError);
            QTRY_VERIFY_WITH_TIMEOUT(QString(program.peek(1 << 16)).contains(said), 10'000);
            QTest::qWait(2500);
            QCOMPARE(program.state(), QProcess::Running);
            program.terminate();
        }
        QVERIFY(program.waitForFinished(10'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), std::max(status, 0));
        const QString out = program.readAllStandardOutput();
        const QString err = program.readAllStandardError();
        if (status > 0) QCOMPARE(err, said);
        QVERIFY2((status == 0 ? out : err).count(said) == 1 && (status == 0 ? err : out).isEmpty(),
                 qPrintable(out.left(200) + err));
    }

    // On an X display (Xvfb, Qt's xcb platform) the window names its class as the desktop
    // entry's StartupWMClass does, and carries its icon, as xprop reads them.
    void tellsTheDesktopItsClassAndIcon() {
        QProcess xvfb, program;  // Xvfb writes its display's number once it takes clients
        // Without -noreset each xprop that leaves, while it is Xvfb's only client, resets
        // the server, and a program that connects during the reset is turned away.
        xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset"});
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10'000);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", ":" + xvfb.readLine().trimmed());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(environment);
        program.start(MORVANE_PROGRAM, {"-m", "1"});
        QString said;  // both properties, once the window has set them ("not found" till then)
        // A fresh xprop each time, given up on after 3 s: one in CI once sat 30 s on its query.
        const auto read = [&] {
            QProcess xprop;
            xprop.setProcessEnvironment(environment);
            xprop.start("xprop", {"-name", "Morvane V1.11", "WM_CLASS", "_NET_WM_ICON"});
            said = xprop.waitForFinished(3000) ? xprop.readAllStandardOutput()
                                               : "xprop: no answer within 3 s";
            return said.startsWith("WM_CLASS") && !said.contains("not found");
        };
        QTRY_VERIFY2_WITH_TIMEOUT(read(), qPrintable(said.left(300) + program.readAllStandardError()),
                                  20'000);
        program.terminate();
        xvfb.terminate();
        QVERIFY(program.waitForFinished() && xvfb.waitForFinished());
        QVERIFY2(said.startsWith("WM_CLASS(STRING) = \"morvane\", \"morvane\"\n") &&
                     said.contains("_NET_WM_ICON(CARDINAL) =") && said.contains("Icon (16 x 16)"),
                 qPrintable(said.left(300)));
    }

    void drivesItsRadioListeningOnNothingUntilASignalClosesIt_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("utc");  // the sounder's schedule: in UTC, or local time
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT, UTC") << SIGINT << true;
        QTest::newRow("SIGHUP, as when its terminal closes") << SIGHUP << false;
    }
    // Following the sweep, it listens on nothing; its one TCP connection goes where -r points.
    // A signal closes it, and the radio, as its close button does: status 0 within 1 s. That
    // closing does not wait for a peer that hangs is the link's own test.
    void drivesItsRadioListeningOnNothingUntilASignalClosesIt() {
        QFETCH(int, signal);
        QFETCH(bool, utc);
        QTemporaryDir logs;
        const QString log = logs.filePath("rigctld.log");
        RigctldProcess rigctld("-vvvvv 2>" + log.toStdString());
        const QString address = rigctld.address().c_str();
        // 6 s into a sweep at 500 kHz/s: 3 MHz, and a step more every second up to 16 MHz
        // (the dummy radio starts at 145). By the other time of day, 5:45 off, it is 15
        // minutes on: the radio waits at 2 MHz.
        const QDateTime now = QDateTime::currentDateTime();
        const int second = QTime(0, 0).secsTo(utc ? now.toUTC().time() : now.time());
        QProcess program;
        program.startCommand(
            QString("%1 -m 2 -r %2 --period 1800 --chirptime %3 --rate 500 --step 500 %4")
                .arg(MORVANE_PROGRAM, address, QString::number((second + 1794) % 1800),
                     utc ? "--utc" : ""));
        const auto radioOnAStep = [&] {  // as Hamlib's own client, rigctl, finds it
            QProcess rigctl;
            rigctl.startCommand("rigctl -m 2 -r " + address + " f");
            const long long hertz =
                rigctl.waitForFinished() ? rigctl.readAll().trimmed().toLongLong() : 0;
            return hertz > 2'000'000 && hertz <= 16'000'000 && hertz % 500'000 == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(radioOnAStep(), 10'000);

        // The probe does see a listening socket where there is one: rigctld's.
        QVERIFY(!SocketsOf(rigctld.pid()).filter(" LISTEN ").isEmpty());
        const QStringList sockets = SocketsOf(program.processId());
        const QStringList network = sockets.filter(QRegularExpression("^(?!u_)"));  // not unix
        QVERIFY2(sockets.filter(" LISTEN ").isEmpty() && network.size() == 1 &&
                     network[0].startsWith("tcp ESTAB ") &&
                     network[0].section(' ', 5, 5) == address,
                 qPrintable(sockets.join('\n')));
        kill(static_cast<pid_t>(program.processId()), signal);
        QVERIFY2(program.waitForFinished(1000), "still running 1 s after the signal");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // Hamlib closes a networked radio with "q" to rigctld; a process that is killed does not.
        QTRY_VERIFY(QProcess::execute("grep", {"-q", "quit", log}) == 0);
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
