// SPDX-License-Identifier: GPL-3.0-or-later
// The propagation map as drawn offscreen: the cells where their sweep and
// frequency put them, in the scale's colours, and the picture saved whole.
#include <QTemporaryDir>
#include <QtTest>

#include "window/propagation_map_qt.hpp"

using namespace morvane;

namespace {

constexpr std::int64_t kDec7 = 20'794 * std::int64_t{86'400'000};  // 2026-12-07T00:00:00Z

// A sweep at 100 kHz/s begun on the hour, reaching `mhz` in 1 MHz steps.
StepRow Step(int hour, std::int64_t mhz, std::optional<double> peakDb, double periodS) {
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
};

QTEST_MAIN(PropagationMapTest)
#include "tst_propagationmap.moc"
