// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/map_recorder_qt.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <utility>

#include "tracking/sweep_frequency.hpp"
#include "window/propagation_map_qt.hpp"

namespace morvane {
namespace {

constexpr std::int64_t kDayMs = 86'400'000;
// Two steps this far apart in when their sweeps began belong to two sweeps.
constexpr std::int64_t kSameSweepMs = 1'000;
// The picture's size: readable on a web page, small enough for a slow link.
const QSize kPictureSize{960, 600};

std::int64_t UtcNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// When the sweep that reached `step` began, by its own rate.
std::int64_t SweepBeganMs(const HeardStep& step) {
    return step.reachedUtcMs - step.hertz / std::max<std::int32_t>(step.rateKHzPerS, 1);
}

// Whether `step` is the sweep's last: the next would lie past the top of its band.
bool LastOfItsSweep(const HeardStep& step) {
    const RateRow* rate = FindRate(std::to_string(step.rateKHzPerS));
    return rate != nullptr && step.hertz + std::int64_t{step.stepKHz} * 1000 > rate->upperLimitHz;
}

// Where the rows of the day `today` ("2026-12-07") begin, near enough. The log
// grows in time order, months of it, so they stand at its end: stepping back
// from the end until a row of an earlier day (or the start) keeps start-up
// quick however long the log has grown.
std::streamoff TodaysRowsFrom(std::ifstream& log, const std::string& today) {
    log.seekg(0, std::ios::end);
    const std::streamoff size = log.tellg();
    for (std::streamoff back = 1 << 16;; back *= 2) {
        const std::streamoff from = std::max<std::streamoff>(size - back, 0);
        log.clear();
        log.seekg(from);
        std::string line;
        if (from > 0) std::getline(log, line);  // the rest of a row cut by the seek
        if (from == 0 || !std::getline(log, line) || line.compare(0, today.size(), today) < 0)
            return from;
    }
}

}  // namespace

MapRecorder::MapRecorder(std::string logPath, std::string mapPath)
    : logPath_(std::move(logPath)), mapPath_(std::move(mapPath)) {
    if (logPath_.empty()) return;
    LoadToday();
    log_ = std::fopen(logPath_.c_str(), "a");
    // A new (or empty) log starts with the names of its columns.
    if (log_ != nullptr && std::ftell(log_) == 0)
        std::fprintf(log_, "%s\n", StepLogHeader().c_str());
}

MapRecorder::~MapRecorder() {
    if (unsavedSteps_) SavePicture();
    if (log_ != nullptr) std::fclose(log_);
    delete window_;
}

// The day's rows already logged, by an earlier run, go on the map first.
void MapRecorder::LoadToday() {
    std::ifstream log(logPath_, std::ios::binary);
    const std::int64_t now = UtcNowMs();
    const std::string today = UtcTimeText(now).substr(0, 10);
    const std::streamoff from = TodaysRowsFrom(log, today);
    log.clear();
    log.seekg(from);
    for (std::string line; std::getline(log, line);) {
        if (line.compare(0, today.size(), today) != 0) continue;
        const std::optional<HeardStep> step = ParseStepLogLine(line);
        if (step && step->reachedUtcMs / kDayMs == now / kDayMs) map_.Add(*step);
    }
}

void MapRecorder::Record(const std::vector<HeardStep>& steps) {
    for (const HeardStep& step : steps) {
        const std::int64_t began = SweepBeganMs(step);
        // A new sweep: the one before is complete as far as it will be.
        if (sweepBeganMs_ && std::abs(began - *sweepBeganMs_) > kSameSweepMs && unsavedSteps_)
            SavePicture();
        sweepBeganMs_ = began;
        map_.Add(step);
        Append(step);
        unsavedSteps_ = true;
        if (LastOfItsSweep(step)) SavePicture();
    }
    if (!steps.empty() && window_) window_->MapChanged();
    if (log_ != nullptr && !steps.empty()) std::fflush(log_);
}

void MapRecorder::Append(const HeardStep& step) {
    if (log_ == nullptr) return;
    if (std::fprintf(log_, "%s\n", StepLogLine(step).c_str()) >= 0 || logFailed_) return;
    logFailed_ = true;
    std::cerr << "morvane: --log " << logPath_ << ": cannot write: " << std::strerror(errno)
              << "; following on without the log" << std::endl;
}

void MapRecorder::SavePicture() {
    unsavedSteps_ = false;
    if (mapPath_.empty()) return;
    QString why;
    if (!SaveMapPng(DrawPropagationMap(map_, kPictureSize), QString::fromStdString(mapPath_), &why))
        std::cerr << "morvane: --map: " << why.toStdString() << std::endl;
}

void MapRecorder::ShowMap(const QWidget* owner) {
    if (!window_) {
        window_ = new PropagationMapWindow(map_);
        window_->setAttribute(Qt::WA_DeleteOnClose);
        // A window of its own, placed beside the main window the first time.
        window_->move(owner->frameGeometry().topRight() + QPoint(8, 0));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace morvane
