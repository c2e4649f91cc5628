#pragma once

// The real Qt main window, watched from its own event thread as a user would
// watch it: when each tick ran, and what the status line and the radio's
// frequency said every few milliseconds. Header-only: it needs Qt and the
// window, which the link tests that share morvane_testsupport do not link.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "window/main_window_qt.hpp"

namespace morvane::testing {

using Clock = std::chrono::steady_clock;

inline double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A clock for the window that reads `startMs` past midnight first and runs
// `stepMs` on at each reading: 0 stands still, 300 runs the sweep six times as
// fast as the ticks, so new frequencies keep going to the radio. Each tick arms
// the next from its reading; readings 2 ms past a 50 ms mark (the ticks' phase)
// keep them 50 ms apart, as the real clock does.
inline MainWindow::ClockSource SteppingClock(int startMs, int stepMs) {
    return [ms = startMs, stepMs]() mutable {
        const int now = std::exchange(ms, ms + stepMs);
        return ClockReading{now / 3'600'000, now / 60'000 % 60, now / 1000 % 60, now % 1000};
    };
}

class WatchedWindow {
  public:
    struct Sample {
        Clock::time_point at;
        QString status;
        QString text4;
    };

    WatchedWindow(HamlibOptions radio, MainWindow::ClockSource clock)
        : WatchedWindow({std::move(radio), {}, std::move(clock)}) {}
    // Every tick reads the clock once, so the wrapped clock notes when each ran.
    explicit WatchedWindow(WindowStart start)
        : ticks_(std::make_shared<std::vector<Clock::time_point>>()),
          window_(Watched(std::move(start), ticks_)) {
        QObject::connect(&sampler_, &QTimer::timeout, [this] {
            samples_.push_back({Clock::now(), Text("status"), Text("Text4")});
        });
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    const std::vector<Sample>& Samples() const { return samples_; }

    // The longest the window went without a tick after `from`, until now: how
    // long its event thread was held up, plus one tick. What the test itself
    // did on that thread before `from` (a paste, killing rigctld) is not counted.
    double LongestWithoutTickMsAfter(Clock::time_point from) const {
        double longest = 0;
        for (std::size_t i = 0; i < ticks_->size(); ++i) {
            const Clock::time_point end = i + 1 < ticks_->size() ? (*ticks_)[i + 1] : Clock::now();
            if (end > from)
                longest = std::max(longest, MsBetween(std::max((*ticks_)[i], from), end));
        }
        return longest;
    }

    QWidget* Control(const char* name) const {
        return window_.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    }
    QString Text(const char* name) const {
        const QWidget* control = Control(name);
        if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
        if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
        if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
        if (auto* slider = qobject_cast<const QSlider*>(control)) {
            return QString::number(slider->value());
        }
        return QString("<no field %1>").arg(name);
    }
    // The text a field starts with.
    static QString InitialText(const char* name) {
        for (const ControlSpec& control : kMainWindowLayout) {
            if (control.name == name) return QString::fromStdString(MainFields{}.*control.field);
        }
        return {};
    }

  private:
    static WindowStart Watched(WindowStart start,
                               std::shared_ptr<std::vector<Clock::time_point>> ticks) {
        start.clock = [ticks = std::move(ticks), clock = std::move(start.clock)] {
            ticks->push_back(Clock::now());
            return clock();
        };
        return start;
    }

    std::shared_ptr<std::vector<Clock::time_point>> ticks_;
    MainWindow window_;
    QTimer sampler_;
    std::vector<Sample> samples_;
};

}  // namespace morvane::testing
