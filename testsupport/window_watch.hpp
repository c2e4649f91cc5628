#pragma once

// The real Qt main window, watched from its own event thread as a user would
// watch it: when each tick ran, and what the status line said in turn.
// Header-only: it needs Qt and the window, which the link tests do not link.
#include <QComboBox>
#include <QSlider>
#include <QTimer>
#include <chrono>
#include <utility>
#include <vector>

#include "window/main_window_qt.hpp"

namespace morvane::testing {

using Clock = std::chrono::steady_clock;

// A clock for the window that reads `startMs` past midnight first and runs
// `stepMs` on at each reading: 0 stands still, 300 runs the sweep six times as
// fast as the ticks. Readings 2 ms past a 50 ms mark (the ticks' phase) keep
// the ticks 50 ms apart.
inline MainWindow::ClockSource SteppingClock(int startMs, int stepMs) {
    return [ms = startMs, stepMs]() mutable {
        const int now = std::exchange(ms, ms + stepMs);
        return ClockReading{now / 3'600'000, now / 60'000 % 60, now / 1000 % 60, now % 1000};
    };
}

class WatchedWindow {
  public:
    WatchedWindow(HamlibOptions radio, MainWindow::ClockSource clock)
        : WatchedWindow({std::move(radio), {}, std::move(clock)}) {}
    explicit WatchedWindow(WindowStart start) : window_(Watched(std::move(start))) {
        QObject::connect(&sampler_, &QTimer::timeout, [this] {
            if (statuses_.empty() || statuses_.back() != Text("status"))
                statuses_ << Text("status");
        });
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    // Each text the status line has shown, in turn.
    const QStringList& Statuses() const { return statuses_; }

    // The longest the window went without a tick after `from`, until now: how
    // long its event thread was held up, plus one tick.
    double LongestWithoutTickMsAfter(Clock::time_point from) const {
        Clock::duration longest{};
        for (const Clock::time_point tick : ticks_) {
            if (tick > from) longest = std::max(longest, tick - std::exchange(from, tick));
        }
        return std::chrono::duration<double, std::milli>(std::max(longest, Clock::now() - from))
            .count();
    }

    QWidget* Control(const char* name) const {
        return window_.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    }
    QString Text(const char* name) const {
        const QWidget* control = Control(name);
        if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
        return control->property(qobject_cast<const QSlider*>(control) ? "value" : "text")
            .toString();
    }

  private:
    // Every tick reads the clock once, so the wrapped clock notes when each ran.
    WindowStart Watched(WindowStart start) {
        start.clock = [this, clock = std::move(start.clock)] {
            ticks_.push_back(Clock::now());
            return clock();
        };
        return start;
    }

    std::vector<Clock::time_point> ticks_;  // before the window, whose clock fills it
    QStringList statuses_;
    MainWindow window_;
    QTimer sampler_;
};

}  // namespace morvane::testing
