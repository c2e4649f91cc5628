// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "radiolink/radio_link.hpp"

namespace morvane {

// Which radio to drive through Hamlib, in rigctl's terms.
struct HamlibOptions {
    int model = 1;        // Hamlib's dummy radio: works with no hardware
    std::string port;     // serial device or host:port; empty: the model's default
    int serialSpeed = 0;  // baud; 0: the model's default
    std::vector<std::pair<std::string, std::string>> config;  // further NAME=VALUE settings
    int debugLevel = 0;                           // Hamlib's own trace on stderr, 0 (none) to 5
    std::chrono::milliseconds pollInterval{250};  // how often the radio's frequency is read
    bool readMeter = true;  // read the S-meter around each step the follower plans for
};

// How the S-meter reads went, for the benchmarks.
struct MeterStats {
    int steps = 0;           // steps whose meter was read at least once
    int reads = 0;           // meter reads in all
    int delayedRetunes = 0;  // retunes that waited for a meter read to end: none should
};

// One radio model Hamlib knows.
struct HamlibModel {
    int id;
    std::string manufacturer;
    std::string name;
    std::string status;  // driver maturity: "Stable", "Beta", ...
};

// Every model this Hamlib knows, in Hamlib's order.
std::vector<HamlibModel> HamlibModels();
// The model with this number, if Hamlib knows it.
std::optional<HamlibModel> FindHamlibModel(int id);

// The link to a radio through Hamlib. A worker thread owns the radio: it
// opens it, trying again every 2 s until it opens or a failure shows that it
// never will, then reads its frequency every poll interval (the hot links)
// and sends the queued frequency, answering each one. A radio that stops
// answering is lost, closed, and opened again the same way. Every radio call
// has a deadline, and a worker stuck in a call past it is left behind when
// the link goes, so that no peer can hold up the window or the program's
// exit. Nothing here blocks the event thread: reports, values and answers
// wait in a queue until the event thread takes them with DeliverEvents, which
// `wake` (called from the worker) asks it to do.
class HamlibLink final : public RadioLink {
  public:
    HamlibLink(HamlibOptions options, std::function<void()> wake);
    // Closes the radio, or leaves the worker behind if it is not done within 0.7 s.
    ~HamlibLink() override;
    HamlibLink(const HamlibLink&) = delete;
    HamlibLink& operator=(const HamlibLink&) = delete;

    // Event thread only, as are the two below.
    void Tune(std::int64_t hertz) override;
    // Reads the radio halfway between ticks, where no retune is due.
    void NoteTick() override;
    void Listen(std::int64_t hertz, const MeterPlan& plan) override;
    MeterStats Stats() const;

    // Hands the reports, values and answers that arrived since the last call
    // to `listener`, in order.
    void DeliverEvents(LinkListener& listener);

    // Which radio this is, for the user: "Hamlib Dummy (model 1)",
    // "Hamlib NET rigctl (model 2) at 127.0.0.1:4532".
    const std::string& RadioName() const;

  private:
    struct Shared;  // what the worker and the watchdog share with the link

    // Shared with a worker that may outlive the link.
    std::shared_ptr<Shared> shared_;
    std::thread worker_;  // last, so that it starts after everything it uses
};

}  // namespace morvane
