#pragma once

// The real main window, watched from its own event thread as a user would
// watch it: when each tick ran, and what the status line and the radio's
// frequency said every few milliseconds.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "window/main_window_qt.hpp"

namespace morvane::window_testing {

using Clock = std::chrono::steady_clock;

inline double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The largest gap between consecutive times, of the gaps that end after `from`.
inline double LargestGapMs(const std::vector<Clock::time_point>& times, Clock::time_point from) {
    double largest = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] > from) largest = std::max(largest, MsBetween(times[i - 1], times[i]));
    }
    return largest;
}

// The first of the times at or after `at`; `at` itself when none is.
inline Clock::time_point FirstAtOrAfter(const std::vector<Clock::time_point>& times,
                                        Clock::time_point at) {
    const auto first = std::lower_bound(times.begin(), times.end(), at);
    return first == times.end() ? at : *first;
}

// A clock for the window that runs `stepMs` of the day per reading from
// 00:04:15, so the sweep moves on and new frequencies keep going to the radio.
// Each tick reads it once, so it also notes when every tick ran.
inline MainWindow::ClockSource RecordingFastClock(
    std::shared_ptr<std::vector<Clock::time_point>> ticks, int stepMs) {
    auto ms = std::make_shared<int>(255'000);
    return [ticks = std::move(ticks), ms, stepMs] {
        ticks->push_back(Clock::now());
        const int now = std::exchange(*ms, *ms + stepMs);
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

    explicit WatchedWindow(HamlibOptions radio, int clockStepMs = 300)
        : ticks_(std::make_shared<std::vector<Clock::time_point>>()),
          window_(std::move(radio), RecordingFastClock(ticks_, clockStepMs)) {
        ticks_->reserve(4096);
        samples_.reserve(8192);
        QObject::connect(&sampler_, &QTimer::timeout, [this] { TakeSample(); });
        sampler_.setTimerType(Qt::PreciseTimer);
        sampler_.start(5);
    }

    MainWindow& window() { return window_; }
    const std::vector<Clock::time_point>& TickTimes() const { return *ticks_; }
    const std::vector<Sample>& Samples() const { return samples_; }

    QWidget* Control(const char* name) const {
        return window_.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    }
    QString Text(const char* name) const {
        const QWidget* control = Control(name);
        if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
        if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
        if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
        return QString("<no field %1>").arg(name);
    }
    // The text a field starts with.
    static QString InitialText(const char* name) {
        return QString::fromStdString(MainFields{}.*FindControl(name)->field);
    }

  private:
    void TakeSample() { samples_.push_back({Clock::now(), Text("status"), Text("Text4")}); }

    std::shared_ptr<std::vector<Clock::time_point>> ticks_;
    MainWindow window_;
    QTimer sampler_;
    std::vector<Sample> samples_;
};

}  // namespace morvane::window_testing
