#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
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
    int failedCallsBeforeClosed = 3;  // unanswered calls in a row that mean the radio is gone
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
// opens it, reads its frequency every poll interval (the hot links) and
// sends the queued frequency. Nothing here blocks the event thread: notices
// and values wait in a queue until the event thread takes them with
// DeliverEvents, which `wake` (called from the worker) asks it to do.
class HamlibLink final : public RadioLink {
  public:
    HamlibLink(HamlibOptions options, std::function<void()> wake);
    ~HamlibLink() override;
    HamlibLink(const HamlibLink&) = delete;
    HamlibLink& operator=(const HamlibLink&) = delete;

    bool IsOpen() const override { return open_; }
    // Queues the frequency of "freq N"; a newer one replaces one not yet sent.
    void Execute(const std::string& command) override;

    // Notes that a tick has just run, so that the radio is read halfway
    // between ticks, where no retune is due. Event thread only.
    void NoteTick();

    // Hands the notices and values that arrived since the last call to
    // `listener`, in order. Event thread only.
    void DeliverEvents(LinkListener& listener);

    // Which radio this is and how it fares, for the user: "Hamlib Dummy
    // (model 1)", or why it could not be opened. Event thread only.
    const std::string& Description() const { return description_; }

  private:
    struct Event {
        enum class Kind { Opened, Closed, Values } kind;
        std::string display;  // Opened, Closed: what to tell the user; Values: text2
        std::string hertz;    // Values: Text4
    };

    void Run();
    // Sends the queued frequencies and reads the radio's until asked to stop
    // (false) or until the radio has stopped answering (true).
    bool FollowRadio(const std::function<bool(std::int64_t)>& setFrequency,
                     const std::function<std::optional<std::int64_t>()>& readFrequency);
    void Post(Event event);
    std::chrono::steady_clock::time_point LastTick() const;
    bool WaitForWork(std::chrono::steady_clock::time_point nextRead,
                     std::optional<std::int64_t>& frequency);

    HamlibOptions options_;
    std::function<void()> wake_;

    std::mutex mutex_;  // guards the fields below it, shared with the worker
    std::condition_variable workArrived_;
    bool stopping_ = false;
    std::optional<std::int64_t> pendingFrequency_;
    std::deque<Event> events_;
    // When the window's last tick ran (steady clock), for the worker's reads.
    std::atomic<std::chrono::steady_clock::rep> lastTickNs_{0};

    bool open_ = false;  // event thread's view, changed only by DeliverEvents
    std::string description_;
    std::thread worker_;  // last, so that it starts after everything it uses
};

}  // namespace morvane
