// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/propagation_map_qt.hpp"

#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace morvane {
namespace {

// Room around the plot for the title, the axes' labels and the colour bar.
constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 96;
constexpr int kTopMargin = 30;
constexpr int kBottomMargin = 34;
constexpr int kBarWidth = 14;
constexpr int kBarGap = 12;

QColor ColourOf(std::uint32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// The height in the plot of a frequency, clamped to the map's range.
double YOf(QRect plot, std::int64_t hertz) {
    constexpr auto kLow = static_cast<double>(PropagationMap::kLowestHertz);
    constexpr auto kHigh = static_cast<double>(PropagationMap::kHighestHertz);
    const double share = std::clamp((static_cast<double>(hertz) - kLow) / (kHigh - kLow), 0.0, 1.0);
    return plot.top() + plot.height() * (1 - share);
}

// The left edge of a sweep's column; the day's last sweep is cut at midnight.
int XOf(QRect plot, std::int32_t column, double periodS) {
    const double share = std::min(column * periodS / 86'400, 1.0);
    return plot.left() + static_cast<int>(std::floor(plot.width() * share));
}

void DrawCells(QPainter& painter, const PropagationMap& map, QRect plot) {
    painter.fillRect(plot, ColourOf(kEmptyMapColour));
    for (const auto& [key, cell] : map.Cells()) {
        // Whole pixels without smoothing: neighbouring cells neither gap nor blend.
        const int left = XOf(plot, key.column, map.PeriodS());
        const int right = XOf(plot, key.column + 1, map.PeriodS());
        const double highest = YOf(plot, std::max(cell.lowHertz, cell.highHertz));
        const double lowest = YOf(plot, std::min(cell.lowHertz, cell.highHertz));
        const auto top = static_cast<int>(std::floor(highest));
        const auto bottom = static_cast<int>(std::floor(lowest));
        painter.fillRect(QRect(left, top, std::max(right - left, 1), std::max(bottom - top, 1)),
                         ColourOf(RiseColour(cell.riseDb.value_or(NAN))));
    }
}

void DrawFrequencyAxis(QPainter& painter, QRect plot) {
    for (const int mhz : {2, 5, 10, 15, 20, 25, 30}) {
        const int y = static_cast<int>(std::lround(YOf(plot, std::int64_t{mhz} * 1'000'000)));
        painter.drawLine(plot.left() - 4, y, plot.left(), y);
        painter.drawText(QRect(0, y - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(mhz));
    }
    painter.drawText(QRect(0, plot.top() - 22, plot.left() - 6, 16),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("MHz"));
}

void DrawTimeAxis(QPainter& painter, QRect plot) {
    for (int hour = 0; hour <= 24; ++hour) {
        const int x = plot.left() + static_cast<int>(std::lround(plot.width() * hour / 24.0));
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + (hour % 3 == 0 ? 6 : 3));
        if (hour % 3 != 0) continue;
        painter.drawText(QRect(x - 16, plot.bottom() + 6, 32, 14), Qt::AlignCenter,
                         QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')));
    }
    painter.drawText(QRect(plot.right() - 40, plot.bottom() + 18, 40, 14),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("UTC"));
}

// A bar from 0 dB at the bottom to the scale's top, with the no-levels key below.
void DrawColourBar(QPainter& painter, QRect plot) {
    const int barLeft = plot.right() + kBarGap;
    const int barHeight = std::max(plot.height() - 30, 10);
    for (int row = 0; row < barHeight; ++row) {
        const double riseDb = kScaleTopDb * (barHeight - 1 - row) / std::max(barHeight - 1, 1);
        painter.fillRect(barLeft, plot.top() + row, kBarWidth, 1, ColourOf(RiseColour(riseDb)));
    }
    for (int db = 0; db <= static_cast<int>(kScaleTopDb); db += 10) {
        const int y = plot.top() + (barHeight - 1) * (static_cast<int>(kScaleTopDb) - db) /
                                       static_cast<int>(kScaleTopDb);
        painter.drawLine(barLeft + kBarWidth, y, barLeft + kBarWidth + 3, y);
        painter.drawText(QRect(barLeft + kBarWidth + 5, y - 8, 50, 16),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("%1 dB").arg(db));
    }
    const QRect noLevels(barLeft, plot.bottom() - kBarWidth + 1, kBarWidth, kBarWidth);
    painter.fillRect(noLevels, ColourOf(kNoLevelsColour));
    painter.drawText(QRect(noLevels.right() + 5, noLevels.top() - 2, 70, kBarWidth + 4),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("no levels"));
}

QString TitleOf(const PropagationMap& map) {
    if (map.DayText().empty()) return QStringLiteral("Propagation map: no steps yet");
    return QStringLiteral("Propagation map, %1 UTC").arg(QString::fromStdString(map.DayText()));
}

}  // namespace

QRect MapPlotArea(QSize size) {
    return {kLeftMargin, kTopMargin, std::max(size.width() - kLeftMargin - kRightMargin, 1),
            std::max(size.height() - kTopMargin - kBottomMargin, 1)};
}

QImage DrawPropagationMap(const PropagationMap& map, QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QRect plot = MapPlotArea(image.size());
    DrawCells(painter, map, plot);
    painter.setPen(Qt::black);
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));
    DrawFrequencyAxis(painter, plot);
    DrawTimeAxis(painter, plot);
    DrawColourBar(painter, plot);
    painter.drawText(QRect(0, 4, image.width(), 20), Qt::AlignHCenter | Qt::AlignVCenter,
                     TitleOf(map));
    return image;
}

bool SaveMapPng(const QImage& image, const QString& path, QString* why) {
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
    if (!saved && why != nullptr)
        *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return saved;
}

PropagationMapWindow::PropagationMapWindow(const PropagationMap& map, QWidget* parent)
    : QWidget(parent, Qt::Window), map_(map) {
    setObjectName(QStringLiteral("propagationMap"));
    setWindowTitle(QStringLiteral("Morvane – propagation map"));
    setMinimumSize(320, 200);
    resize(640, 400);
}

void PropagationMapWindow::MapChanged() {
    update();
}

void PropagationMapWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter(this).drawImage(0, 0, DrawPropagationMap(map_, size()));
}

}  // namespace morvane
