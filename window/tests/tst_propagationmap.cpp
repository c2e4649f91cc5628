// SPDX-License-Identifier: GPL-3.0-or-later
// The propagation map as drawn offscreen: the cells where their sweep and
// frequency put them, in the scale's colours, and the picture saved whole.
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "window/map_recorder_qt.hpp"
#include "window/propagation_map_qt.hpp"

using namespace morvane;

namespace {

constexpr std::int64_t kDec7 = 20'794 * std::int64_t{86'400'000};  // 2026-12-07T00:00:00Z

// A sweep at 100 kHz/s begun on the hour, reaching `mhz` in 1 MHz steps.
HeardStep Step(int hour, std::int64_t mhz, std::optional<double> peakDb, double periodS) {
    const std::int64_t hertz = mhz * 1'000'000;
    return {kDec7 + hour * std::int64_t{3'600'000} + hertz / 100,
            periodS,
            280,
            100,
            1000,
            0,
            hertz,
            -40.0,
            peakDb,
            true,
            "USB"};
}

}  // namespace

class PropagationMapTest : public QObject {
    Q_OBJECT
  private slots:
    void drawsEachCellAtItsHourAndFrequency_data() {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("mhz");
        QTest::addColumn<double>("peakDb");  // NaN: not read
        QTest::addColumn<double>("periodS");
        QTest::newRow("midnight, bottom step") << 0 << 2 << -40.0 << 3600.0;
        QTest::newRow("noon, 14 MHz") << 12 << 14 << -25.0 << 3600.0;
        QTest::newRow("last hour, top step") << 23 << 29 << 0.0 << 3600.0;
        QTest::newRow("no levels") << 6 << 7 << double{NAN} << 3600.0;
        QTest::newRow("13 sweeps a day, the last one cut") << 23 << 14 << -30.0 << 7000.0;
    }
    void drawsEachCellAtItsHourAndFrequency() {
        QFETCH(int, hour);
        QFETCH(int, mhz);
        QFETCH(double, peakDb);
        QFETCH(double, periodS);
        PropagationMap map;
        map.Add(
            Step(hour, mhz, std::isnan(peakDb) ? std::nullopt : std::optional(peakDb), periodS));
        const QSize size(640, 400);
        const QImage image = DrawPropagationMap(map, size);
        const QRect plot = MapPlotArea(size);
        const double x = plot.left() + plot.width() * (hour + 0.25) / 24;  // 15 min into the sweep
        const double y = plot.top() + plot.height() * (1 - (mhz + 0.5 - 2) / 28);
        QCOMPARE(image.pixel(int(x), int(y)) & 0xFFFFFF, RiseColour(peakDb + 40));
        const double elsewhere = plot.left() + plot.width() * ((hour + 12) % 24 + 0.5) / 24;
        QCOMPARE(image.pixel(int(elsewhere), int(y)) & 0xFFFFFF, kEmptyMapColour);
    }

    void savesWholeOrNotAtAll() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("map.png"));
        const QImage image = DrawPropagationMap(PropagationMap(), QSize(300, 200));
        QString why;
        QVERIFY2(SaveMapPng(image, path, &why), qPrintable(why));
        QCOMPARE(QImage(path).size(), QSize(300, 200));
        const QString nowhere = dir.filePath(QStringLiteral("missing/map.png"));
        QVERIFY(!SaveMapPng(image, nowhere, &why));
        QVERIFY2(
            why.startsWith("cannot write " + nowhere + ": ") && why.size() > 20 + nowhere.size(),
            qPrintable(why));
        QVERIFY(!SaveMapPng(QImage(), path, &why));  // no picture to encode: fails half-way
        QCOMPARE(QImage(path).size(), QSize(300, 200));
    }

    void rebuildsTheDayFromItsLog_data() {
        QTest::addColumn<int>("earlierRows");  // of yesterday, before today's
        QTest::addColumn<int>("todaysRows");
        QTest::newRow("a short log") << 10 << 5;
        // Today's rows run to 90 kB, past the first stretch read back from the end.
        QTest::newRow("a log of months: today's rows found from its end") << 20'000 << 1'000;
        QTest::newRow("nothing of today") << 300 << 0;
    }
    // Started again with the same log, the map holds today's rows (in the
    // real UTC day), none of earlier days, and no torn last line.
    void rebuildsTheDayFromItsLog() {
        QFETCH(int, earlierRows);
        QFETCH(int, todaysRows);
        QTemporaryDir dir;
        const std::string path = dir.filePath("steps.csv").toStdString();
        const std::int64_t today = QDateTime::currentMSecsSinceEpoch() / 86'400'000 * 86'400'000;
        std::ofstream log(path);
        log << StepLogHeader() << '\n';
        const auto onDay = [&](HeardStep step, std::int64_t dayMs) {
            step.reachedUtcMs += dayMs - kDec7;
            return StepLogLine(step) + '\n';
        };
        for (int i = 0; i < earlierRows; ++i)
            log << onDay(Step(0, 2 + i % 14, -5.0, 300), today - 86'400'000);
        for (int i = 0; i < todaysRows; ++i) {  // 28 steps a sweep, every 5 minutes
            HeardStep step = Step(0, 2 + i % 28, -5.0, 300);
            step.reachedUtcMs += i / 28 * 300'000;
            log << onDay(step, today);
        }
        log << "2099-01-01T00:00:00.000Z,300,28";  // cut off as the program stopped
        log.close();
        const MapRecorder recorder(path, "");
        QCOMPARE(int(recorder.Map().Cells().size()), todaysRows);
    }
};

QTEST_MAIN(PropagationMapTest)
#include "tst_propagationmap.moc"
