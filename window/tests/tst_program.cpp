// The real morvane program, started as a user starts it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QtTest>
#include <algorithm>

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

// ---- The sockets a process holds, from /proc -------------------------------------

// One socket of the process, as its network table lists it.
struct HeldSocket {
    QString table;   // "tcp", "udp6", "unix", ...
    QString local;   // hex address:port as the kernel writes it; a unix socket's path
    QString remote;  // likewise; empty for unix sockets
    int state;       // the kernel's state number: TCP 0x0A is LISTEN, 0x01 ESTABLISHED
    bool listening;
};

QSet<QString> SocketInodes(qint64 pid) {
    QSet<QString> inodes;
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System)) {
        const QString target = fd.symLinkTarget().section('/', -1);  // "socket:[1234]"
        if (target.startsWith("socket:[")) inodes.insert(target.mid(8).chopped(1));
    }
    return inodes;
}

QList<QStringList> TableRows(qint64 pid, const QString& table) {
    QFile file(QString("/proc/%1/net/%2").arg(pid).arg(table));
    QList<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly)) return rows;
    file.readLine();  // the column names
    while (!file.atEnd()) rows << QString(file.readLine()).simplified().split(' ');
    return rows;
}

// Every socket the process holds, in the inet, raw and unix tables.
QList<HeldSocket> SocketsOf(qint64 pid) {
    const QSet<QString> inodes = SocketInodes(pid);
    QList<HeldSocket> held;
    for (const QString table : {"tcp", "tcp6", "udp", "udp6", "raw", "raw6"}) {
        for (const QStringList& row : TableRows(pid, table)) {
            if (row.size() < 10 || !inodes.contains(row[9])) continue;
            const int state = row[3].toInt(nullptr, 16);
            held << HeldSocket{table, row[1], row[2], state,
                               table.startsWith("tcp") && state == 0x0A};
        }
    }
    constexpr int kAcceptsConnections = 0x00010000;  // __SO_ACCEPTCON: listen() was called
    for (const QStringList& row : TableRows(pid, "unix")) {
        if (row.size() < 7 || !inodes.contains(row[6])) continue;
        const bool listening = (row[3].toInt(nullptr, 16) & kAcceptsConnections) != 0;
        held << HeldSocket{"unix", row.value(7), {}, row[5].toInt(nullptr, 16), listening};
    }
    return held;
}

// 127.0.0.1:PORT as /proc/net/tcp writes it: the address in host byte order.
QString LoopbackInProc(int port) {
    return QString("0100007F:%1").arg(port, 4, 16, QChar('0')).toUpper();
}

// What `ss` says the process listens on; the kernel's own report, read another way.
QString ListeningPerSs(qint64 pid) {
    QProcess ss;
    ss.start("ss", {"-ltnupxwH"});
    if (!ss.waitForFinished(5000)) return "ss did not answer";
    QString listening;
    for (const QString& line : QString(ss.readAllStandardOutput()).split('\n')) {
        if (line.contains(QString("pid=%1,").arg(pid))) listening += line + '\n';
    }
    return listening;
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
    void holdsNoListeningSocketAndConnectsOnlyWhereTold_data();
    void holdsNoListeningSocketAndConnectsOnlyWhereTold();
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

void ProgramTest::holdsNoListeningSocketAndConnectsOnlyWhereTold_data() {
    QTest::addColumn<bool>("throughRigctld");
    QTest::newRow("Hamlib's dummy radio, in-process") << false;
    QTest::newRow("-m 2 -r 127.0.0.1:PORT, a real rigctld") << true;
}

// While it runs and drives its radio, morvane listens on nothing (TCP, UDP,
// raw or unix), and its one TCP connection, if any, goes where -r points.
void ProgramTest::holdsNoListeningSocketAndConnectsOnlyWhereTold() {
    QFETCH(bool, throughRigctld);
    morvane::testing::RigctldProcess rigctld;
    QStringList arguments;
    if (throughRigctld)
        arguments << "-m"
                  << "2"
                  << "-r" << rigctld.address().c_str();
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(MORVANE_PROGRAM, arguments);
    QVERIFY(program.waitForStarted());
    QString told;
    const auto radioOpen = [&] {
        told += program.readAllStandardError();
        return told.contains(throughRigctld ? "NET rigctl (model 2) at" : "Dummy (model 1)\n") &&
               !told.endsWith(": opening\n");
    };
    QTRY_VERIFY2_WITH_TIMEOUT(radioOpen(), qPrintable(told), kStartLimitMs);
    if (throughRigctld) {
        long long frequency = 0;
        QTRY_VERIFY_WITH_TIMEOUT(IsStepOnTheBand(frequency = rigctld.Frequency().value_or(0)),
                                 kStartLimitMs);  // it drives the radio now
    }

    // The probe does see a listening socket where there is one: rigctld's.
    const QList<HeldSocket> rigctldSockets = SocketsOf(rigctld.pid());
    QVERIFY(std::any_of(rigctldSockets.begin(), rigctldSockets.end(),
                        [](const HeldSocket& socket) { return socket.listening; }));
    QVERIFY(!ListeningPerSs(rigctld.pid()).isEmpty());

    for (int look = 0; look < 3; ++look, QTest::qWait(500)) {
        const QList<HeldSocket> sockets = SocketsOf(program.processId());
        int connections = 0;
        for (const HeldSocket& socket : sockets) {
            const QString what = socket.table + " " + socket.local + " " + socket.remote;
            QVERIFY2(!socket.listening, qPrintable("listening: " + what));
            QVERIFY2(socket.table == "tcp" || socket.table == "unix", qPrintable(what));
            if (socket.table != "tcp") continue;
            ++connections;
            QCOMPARE(socket.state, 0x01);  // established
            QCOMPARE(socket.remote, LoopbackInProc(rigctld.port()));
        }
        QCOMPARE(connections, throughRigctld ? 1 : 0);
        if (look == 0) {
            qInfo("%lld sockets: %d TCP connection(s), the rest unix, none listening",
                  static_cast<long long>(sockets.size()), connections);
        }
        QCOMPARE(ListeningPerSs(program.processId()), QString());
    }
    program.terminate();
    QVERIFY(program.waitForFinished());
}

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
