#pragma once

// The real Qt main window, watched from its own thread: when each tick ran, and
// what the status line said in turn. Header-only: the link tests have no Qt.
#include <QComboBox>
#include <QSlider>
#include <QTimer>
#include <chrono>
#include <utility>
#include <vector>

#include "window/main_window_qt.hpp"

namespace morvane::testing {

using Clock = std::chrono::steady_clock;

// A clock that reads `startMs` past midnight, then `stepMs` more at each reading
// (0: it stands still). Readings 2 ms past a 50 ms mark keep the ticks 50 ms apart.
inline MainWindow::ClockSource SteppingClock(int startMs, int stepMs) {
    return [ms = startMs, stepMs]() mutable {
        const int now = std::exchange(ms, ms + stepMs);
        return ClockReading{now / 3'600'000, now / 60'000 % 60, now / 1000 % 60, now % 1000};
    };
}

class WatchedWindow {
  public:
    explicit WatchedWindow(WindowStart start) : window_(Watched(std::move(start))) {
        QObject::connect(&sampler_, &QTimer::timeout, [this] {
            if (statuses_.empty() || statuses_.back() != Text("status"))
                statuses_ << Text("status");
        });
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    const QStringList& Statuses() const { return statuses_; }

    // The longest the window went without a tick after `from`, until now.
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
        const QWidget* c = Control(name);
        return c
            ->property(c->inherits("QComboBox") ? "currentText"
                       : c->inherits("QSlider") ? "value"
                                                : "text")
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
