// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "radiolink/follower.hpp"
#include "radiolink/radio_link_hamlib.hpp"
#include "tracking/clock_trust.hpp"
#include "tracking/sweep_position.hpp"
#include "tracking/tick_failure.hpp"
#include "tracking/tick_schedule.hpp"
#include "window/main_fields.hpp"
#include "window/map_recorder_qt.hpp"
#include "window/window_layout.hpp"

class QLabel;
class QTimer;
class QToolButton;

namespace morvane {

// One reading of the local time of day with its milliseconds.
ClockReading ReadLocalClock();
// The same in UTC, for sounders scheduled in UTC.
ClockReading ReadUtcClock();
// How the kernel sees the computer's clock (ntp_adjtime).
std::optional<ClockStatus> ReadKernelClockStatus();

// What a window starts from: the radio, the fields as the command line set
// them, and where the time of day and the clock's health are read.
struct WindowStart {
    HamlibOptions radio;
    MainFields fields;
    std::function<ClockReading()> clock = ReadLocalClock;
    std::function<std::optional<ClockStatus>()> clockStatus = ReadKernelClockStatus;
    TickTiming timing = TickTiming::SweepLocked;
    bool utc = false;  // whether `clock` reads UTC rather than the local time of day
    std::string logPath = {};  // where each step is logged; empty: nowhere
    std::string mapPath = {};  // where the map's picture goes; empty: nowhere
};

// The main window, "Main": shows and edits the follower's MainFields, arms
// the tick timer from it and hands it the radio link's reports. MainFields is
// the one record of the program's state; the widgets only show it and pass
// the user's edits into it.
class MainWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit MainWindow(WindowStart start, QWidget* parent = nullptr);
    // How the S-meter's reads went, for the benchmarks.
    MeterStats MeterReadStats() const { return link_->Stats(); }

  private:
    std::unique_ptr<HamlibLink> OpenLink(HamlibOptions radio);
    // Every control of the layout table, placed in pixels for this screen's dpi.
    void CreateControls();
    void AddProgressLine();
    void AddMapButton();
    void SetFocusOrder();
    void FillPeriodList();
    void PassEditsToFields();
    void StartTicking();
    // Timer1: the follower's tick, then what it says is shown.
    void Tick();
    // Hands the link's reports to the follower, on the window's thread.
    void DeliverLinkEvents();
    void Show(const FollowerView& view);
    // Brings every widget in line with the record.
    void ShowFields();
    void ShowText2Background();
    void ShowSettingMarks(const std::vector<FieldMark>& marks);
    void ShowLinkDetail(const FollowerView& view);
    void ShowMeter(const FollowerView& view);
    // Marks the time of day when the clock cannot be trusted.
    void ShowClockTrust(const ClockTrust& trust);
    // Which time the time of day is, and how far the clock may be trusted.
    void ShowTimeOfDayTip();
    QWidget* Control(ControlId id) const { return controls_[IndexOf(id)]; }
    MainFields& fields() { return follower_.fields(); }

    bool utc_;
    std::optional<ClockTrust> shownClockTrust_;
    std::array<QWidget*, kMainWindowLayout.size()> controls_{};  // in the layout's order
    // What each bound control was last given, so that a tick touches only the
    // widgets whose field changed; nothing shown yet at first.
    std::array<std::optional<std::string>, kMainWindowLayout.size()> shownTexts_{};
    std::optional<std::optional<Colour>> shownBackground_;
    std::vector<FieldMark> shownMarks_;  // the settings marked after the last tick
    std::string shownLinkDetail_;
    QLabel* progress_ = nullptr;  // the status's second line
    QToolButton* mapButton_ = nullptr;
    bool meterMissingSaid_ = false;
    MapRecorder recorder_;
    QTimer* timer_ = nullptr;
    // Destroyed before the window's QObject part, so the worker that posts
    // to the window has stopped before the window goes.
    std::unique_ptr<HamlibLink> link_;
    Follower follower_;
};

}  // namespace morvane
