// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tracking/propagation_map.hpp"
#include "tracking/step_log.hpp"

class QWidget;

namespace morvane {

class PropagationMapWindow;

// Where the steps the radio heard go: the propagation map, which a window
// may show; the log, one CSV row each, when one was asked for; and the map's
// picture, rewritten after every sweep, when one was asked for.
class MapRecorder {
  public:
    // `logPath`, `mapPath`: empty for none. The day's rows already in the log are put on the map.
    MapRecorder(std::string logPath, std::string mapPath);
    ~MapRecorder();
    MapRecorder(const MapRecorder&) = delete;
    MapRecorder& operator=(const MapRecorder&) = delete;

    void Record(const std::vector<HeardStep>& steps);
    // Opens the map's window beside `owner`, or brings it forward. It goes
    // with the recorder, whose map it shows.
    void ShowMap(const QWidget* owner);
    const PropagationMap& Map() const { return map_; }

  private:
    void LoadToday();
    void Append(const HeardStep& step);
    void SavePicture();

    std::string logPath_, mapPath_;
    std::FILE* log_ = nullptr;
    bool logFailed_ = false;  // said once on stderr; the program follows on
    PropagationMap map_;
    std::optional<std::int64_t> sweepBeganMs_;  // the sweep the latest step belongs to
    bool unsavedSteps_ = false;
    QPointer<PropagationMapWindow> window_;
};

}  // namespace morvane
