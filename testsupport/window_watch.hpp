#pragma once

// The real Qt main window, watched from its own thread: when each tick ran, and
// what the status line said in turn. Header-only: the link tests have no Qt.
#include <QTimer>
#include <chrono>
#include <utility>
#include <vector>

#include "window/main_window_qt.hpp"

namespace morvane::testing {

using Clock = std::chrono::steady_clock;

class WatchedWindow {
  public:
    // The window with radio `model` at `port`, its clock at `startMs` past midnight and
    // `stepMs` more at each reading (0: it stands still). Ticks aim 1 ms past the sweep's
    // 50 ms marks: readings 2 ms past one, moving by whole marks, keep them 49 ms apart.
    WatchedWindow(int startMs, int stepMs, int model = 1, std::string port = {},
                  std::function<ClockStatus()> clockStatus = ReadKernelClockStatus)
        : window_({{model, std::move(port), 0, {}},
                   {},
                   [this, ms = startMs, stepMs]() mutable {
                       ticks_.push_back(Clock::now());  // every tick reads the clock once
                       const int now = std::exchange(ms, ms + stepMs);
                       return ClockReading{now / 3'600'000, now / 60'000 % 60, now / 1000 % 60,
                                           now % 1000};
                   },
                   std::move(clockStatus)}) {
        QObject::connect(&sampler_, &QTimer::timeout, [this] {
            if (statuses_.empty() || statuses_.back() != Text("status"))
                statuses_ << Text("status");
        });
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    const QStringList& Statuses() const { return statuses_; }

    // Whether no tick came late after `from`, until now: one tick period late at
    // most, with margin for a loaded machine.
    bool TickedOnTimeAfter(Clock::time_point from) const {
        Clock::duration longest{};
        for (const Clock::time_point tick : ticks_)
            if (tick > from) longest = std::max(longest, tick - std::exchange(from, tick));
        return std::max(longest, Clock::now() - from) < std::chrono::milliseconds(250);
    }

    QWidget* Control(const QString& name) const {
        return window_.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    }
    // A list's current text, a slider's position, other controls' text.
    QString Text(const QString& name) const {
        const QMetaProperty shown = Control(name)->metaObject()->userProperty();
        return Control(name)->property(shown.isValid() ? shown.name() : "text").toString();
    }

  private:
    std::vector<Clock::time_point> ticks_;  // before the window, whose clock fills it
    QStringList statuses_;
    MainWindow window_;
    QTimer sampler_;
};

}  // namespace morvane::testing
