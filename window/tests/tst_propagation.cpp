// SPDX-License-Identifier: GPL-3.0-or-later
// The real morvane program mapping a sounder's sweep: what its log and map say against
// what a peer in front of rigctld put on the air and on the radio's S-meter.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "testsupport/rigctld.hpp"

using namespace morvane::testing;

// One program following its own sounder, through its own peer and rigctld.
struct Follow {
    RigctldProcess rigctld;
    RigctldProxy peer{rigctld};
    QProcess program;
    Sweep sweep;
    double mufHz = 0, chirptime = 0;
    QString log, map;
};

class PropagationTest : public QObject {
    Q_OBJECT

    int rate = 0, step = 0, slider = 0, pathDelayMs = 0, readTimeMs = 0;
    double fraction = 0;

    // Its sweep at 1 MHz below the maximum usable frequency 1.5 to 2.5 s from now, at a
    // chirp time with `fraction`; the sounder truly starts it `slider` × 150 ms before
    // that, so only a program that tunes by the slider meets it. Returns when the sweep
    // will have passed the step above 1 MHz over that frequency, plus half a second.
    double Start(Follow& run, double mufHz, const QString& directory) {
        run.mufHz = mufHz;
        run.peer.SetMaximumUsableFrequency(mufHz);
        run.peer.SetPathDelay(std::chrono::milliseconds(pathDelayMs));
        run.peer.SetReadTime(std::chrono::milliseconds(readTimeMs));
        const double nowS = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1e3;
        const double untilS = 2.5 - (run.mufHz - 1e6) / (rate * 1e3) + slider * 0.15 - fraction;
        run.chirptime = std::fmod(std::floor(nowS + untilS), 300.0) + fraction;
        run.sweep = {300, run.chirptime - slider * 0.15, rate};
        run.peer.PlaySounder(run.sweep);
        // The dummy radio starts in FM; the sounder is heard in USB.
        const QStringList toUsb{"-m", "2", "-r", run.rigctld.address().c_str(), "M", "USB", "2400"};
        if (QProcess::execute("rigctl", toUsb) != 0) QTest::qFail("no rigctl", __FILE__, __LINE__);
        run.log = QString("%1/steps-%2MHz.csv").arg(directory).arg(mufHz / 1e6);
        run.map = QString("%1/map-%2MHz.png").arg(directory).arg(mufHz / 1e6);
        run.program.start(MORVANE_PROGRAM,
                          {"-m", "2", "-r", run.peer.address().c_str(), "--period", "300",
                           "--chirptime", QString::number(run.chirptime), "--rate",
                           QString::number(rate), "--step", QString::number(step), "--offset",
                           QString::number(slider), "--utc", "--log", run.log, "--map", run.map});
        return run.sweep.ReachesUtcMs(mufHz + 1e6 + step * 1e3, nowS * 1e3) + 500;
    }

    // Closed as by the desktop, the program leaves a log and a map.
    void Stop(Follow& run, bool heard) {
        run.program.terminate();
        QVERIFY(run.program.waitForFinished(5000));
        QVERIFY2(run.program.exitStatus() == QProcess::NormalExit && run.program.exitCode() == 0,
                 run.program.readAllStandardError().constData());
        QMap<qint64, QStringList> rows;  // by frequency
        ReadLog(run, rows);
        if (!QTest::currentTestFailed()) CheckLevels(run, rows, heard);
        QVERIFY2(!QImage(run.map).isNull(), qPrintable(run.map));
    }

  private slots:
    void mapsWhereTheSweepComesThrough_data() {
        QTest::addColumn<int>("kHzPerS");
        QTest::addColumn<int>("stepKHz");
        QTest::addColumn<double>("chirptimeFraction");  // of its second
        QTest::addColumn<int>("sliderPosition");
        QTest::addColumn<int>("pathDelay");  // ms
        QTest::addColumn<int>("readTime");   // ms, of one S-meter reading
        QTest::addColumn<bool>("heard");     // the radio is on each step while its chirp passes
        QTest::newRow("100 kHz/s, 100 kHz steps") << 100 << 100 << 0.0 << 0 << 3 << 1 << true;
        QTest::newRow("125/100, 300 ms early, a slow path")
            << 125 << 100 << 0.37 << 2 << 30 << 5 << true;
        QTest::newRow("50/50, 450 ms late, slow reads")
            << 50 << 50 << 0.8 << -3 << 15 << 20 << true;
        QTest::newRow("500/100, 150 ms early") << 500 << 100 << 0.25 << 1 << 10 << 2 << true;
        QTest::newRow("500/50: each step replaced before its chirp passes")
            << 500 << 50 << 0.5 << 0 << 3 << 1 << false;
    }
    // Two programs at once: one whose path closes at 8 MHz, one at 12, each followed from
    // 1 MHz below that to 1 MHz above.
    void mapsWhereTheSweepComesThrough() {
        QFETCH(int, kHzPerS);
        QFETCH(int, stepKHz);
        QFETCH(double, chirptimeFraction);
        QFETCH(int, sliderPosition);
        QFETCH(int, pathDelay);
        QFETCH(int, readTime);
        QFETCH(bool, heard);
        rate = kHzPerS, step = stepKHz, slider = sliderPosition;
        fraction = chirptimeFraction, pathDelayMs = pathDelay, readTimeMs = readTime;
        QTemporaryDir directory;
        Follow runs[2];
        const double endMs =
            std::max(Start(runs[0], 8e6, directory.path()), Start(runs[1], 12e6, directory.path()));
        if (QTest::currentTestFailed()) return;
        const auto nowMs = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
        QTest::qWait(static_cast<int>(endMs - nowMs));
        for (Follow& run : runs) {
            Stop(run, heard);
            if (QTest::currentTestFailed()) return;
        }
    }

  private:
    void ReadLog(const Follow& run, QMap<qint64, QStringList>& rows);
    void CheckLevels(const Follow& run, const QMap<qint64, QStringList>& rows, bool heard);
};

// A row's fields: time_utc,period_s,chirptime_s,rate_khz_per_s,step_khz,offset_ms,
// frequency_hz,floor_db,peak_db,on_time,mode.
enum Field {
    kTime,
    kPeriod,
    kChirptime,
    kRate,
    kStep,
    kOffset,
    kHertz,
    kFloor,
    kPeak,
    kOnTime,
    kMode
};

// The log's rows by frequency, each row at the time the sweep truly reached its step (to a
// few ms) and with the settings the program was given.
void PropagationTest::ReadLog(const Follow& run, QMap<qint64, QStringList>& rows) {
    QFile file(run.log);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(run.log));
    const QStringList lines = QString(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0),
             "time_utc,period_s,chirptime_s,rate_khz_per_s,step_khz,offset_ms,"
             "frequency_hz,floor_db,peak_db,on_time,mode");
    QStringList wrong;
    for (const QString& line : lines.mid(1)) {
        const QStringList row = line.split(',');
        const qint64 hertz = row.value(kHertz).toLongLong();
        const auto atMs =
            QDateTime::fromString(row.value(kTime), Qt::ISODateWithMs).toMSecsSinceEpoch();
        const double trueMs = run.sweep.ReachesUtcMs(static_cast<double>(hertz), double(atMs));
        const double settings[] = {300, run.chirptime, double(rate), double(step), slider * 150.0};
        bool followedWith = true;
        for (int field = kPeriod; field <= kOffset; ++field)
            followedWith &=
                std::abs(row.value(field).toDouble() - settings[field - kPeriod]) < 1e-6;
        if (row.size() != 11 || std::abs(double(atMs) - trueMs) > 6 || !followedWith ||
            row[kMode] != "USB")
            wrong << QString("%1: %2 ms from the sweep").arg(line).arg(double(atMs) - trueMs);
        rows[hertz] = row;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
}

// The steps from 1 MHz below the maximum usable frequency to 1 MHz above: below it a chirp
// lifts the peak well over the floor, above it nothing does.
void PropagationTest::CheckLevels(const Follow& run, const QMap<qint64, QStringList>& rows,
                                  bool heard) {
    const double lowestHz = run.mufHz - 1e6;
    int missing = 0, all = 0, claimed = 0, levelled = 0;
    int below = 0, belowRising = 0, above = 0, aboveQuiet = 0;
    for (double hertz = lowestHz; hertz <= run.mufHz + 1e6; hertz += step * 1e3, ++all) {
        const QStringList row = rows.value(qint64(hertz));
        // Only at its start may the program miss a step or two, still opening the radio.
        if (row.isEmpty() && (++missing > 2 || hertz > lowestHz + 2 * step * 1e3))
            QFAIL(qPrintable(QString("no row for %1 Hz").arg(hertz)));
        const bool onTime = row.value(kOnTime) == "true";
        const bool floorRead = !row.value(kFloor).isEmpty(), peakRead = !row.value(kPeak).isEmpty();
        claimed += onTime || floorRead || peakRead;
        levelled += floorRead && peakRead;
        if (!onTime || !floorRead || !peakRead) continue;
        const double rise = row[kPeak].toDouble() - row[kFloor].toDouble();
        const bool open = hertz + 2700 < run.mufHz;
        (open ? below : above) += 1;
        (open ? belowRising : aboveQuiet) += open ? rise >= 20 : rise < 10;
    }
    QStringList table;
    for (const QStringList& row : rows) table << row.join(',');
    QVERIFY2(heard ? levelled >= 0.8 * all && belowRising >= 0.95 * below && below > 0 &&
                         aboveQuiet >= 0.95 * above && above > 0
                   : claimed == 0,
             qPrintable(QString("%1 of %2 steps with levels; rising below: %3 of %4; quiet above: "
                                "%5 of %6 in\n%7")
                            .arg(levelled)
                            .arg(all)
                            .arg(belowRising)
                            .arg(below)
                            .arg(aboveQuiet)
                            .arg(above)
                            .arg(table.join('\n'))));
}

QTEST_MAIN(PropagationTest)
#include "tst_propagation.moc"
