// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include "tracking/propagation_map.hpp"

namespace morvane {

// Where the cells go in a picture of this size: 00 to 24 h UTC left to
// right, 2 MHz at the bottom edge to 30 MHz at the top one.
QRect MapPlotArea(QSize size);

// The map as a picture: the cells on their axes, a colour bar in dB, a key
// for steps whose levels were not read, and the day as the title.
QImage DrawPropagationMap(const PropagationMap& map, QSize size);

// Writes the picture as a PNG in one go: a file already there stays whole
// until the new one is complete. On failure says why in *why.
bool SaveMapPng(const QImage& image, const QString& path, QString* why);

// A window of its own showing the map, redrawn whenever it changes.
class PropagationMapWindow : public QWidget {
  public:
    // The map is owned elsewhere and must outlive the window.
    explicit PropagationMapWindow(const PropagationMap& map, QWidget* parent = nullptr);
    // The map has new rows: draw it again at the next paint.
    void MapChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const PropagationMap& map_;
};

}  // namespace morvane
