// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/radio_link_hamlib.hpp"

#include <hamlib/rig.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "radiolink/call_watch_hamlib.hpp"
#include "radiolink/frequency_text.hpp"
#include "radiolink/open_failure_hamlib.hpp"
#include "tracking/number_text.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The longest one call may take: a radio that answers within 2 s is slow, not
// gone; one that leaves a call unanswered for 2.5 s is gone.
constexpr milliseconds kCallLimit{2250};
// Hamlib's own wait for each answer, longer than any call may take. Were it
// shorter, Hamlib would give up on a slow answer by itself and leave it on its
// way, to be read as the answer to the next call: the "RPRT 0" for one
// frequency taken as the radio's word on the next. Instead only the call limit
// ends a call, by cutting the port, and the radio is then closed and opened
// afresh, on a new connection where no answer to an old call can arrive.
constexpr milliseconds kHamlibTimeout{2500};
// Calls that bring no frequency back for this long in a row mean the radio is
// lost, as long as an unanswered call may take. Shorter trouble, rigctld
// answering "RPRT -5" while its radio misses a poll or two, is ridden out.
constexpr milliseconds kFailingLimit{2500};
// A failed reading is tried again this soon after it began.
constexpr milliseconds kRereadInterval{100};
// Opening takes several exchanges, and Hamlib alone spends 2 s giving up on a
// serial device that is missing (it tries four times).
constexpr milliseconds kOpenLimit{3000};
// When the link goes: how much longer a call under way may take, and how long
// the worker has to close the radio before it is left behind.
constexpr milliseconds kClosingCallLimit{200};
constexpr milliseconds kClosingLimit{700};
// How long the worker waits, after a retune is taken, for the follower's word
// on when to read the meter. The follower gives it in the same tick as the
// retune, microseconds later, so it is nearly always there already; a link
// with no follower to plan must not lose its readings to the wait.
constexpr milliseconds kPlanWait{5};
// The meter falls back from its peak over tens of ms: a second read catches a
// peak the first missed by a glitch, more only keep the radio busy.
constexpr int kPeakReads = 2;
// How often the radio's mode and passband are read again, so that a change
// made at the radio moves where the chirp is listened for.
constexpr milliseconds kModeReadInterval{2000};
// How many of the latest calls a read's length is judged by.
constexpr std::size_t kCallTimesKept = 8;

// Hamlib's trace goes to stderr from the first call on, so it is quietened first.
void LoadHamlib() {
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        rig_set_debug(RIG_DEBUG_NONE);
        rig_load_all_backends();
    });
}

HamlibModel ModelOf(const rig_caps& caps) {
    return {static_cast<int>(caps.rig_model), caps.mfg_name ? caps.mfg_name : "",
            caps.model_name ? caps.model_name : "", rig_strstatus(caps.status)};
}

// Above any radio Hamlib drives, and far below where a double stops holding whole hertz.
constexpr freq_t kHighestFrequencyHz = 1e12;

// The first moment `atLeast` from now that lies halfway between two ticks, by
// the last tick the window noted: a reading then keeps the radio free for the
// retune a tick may queue.
Clock::time_point NextQuietMoment(Clock::time_point lastTick, milliseconds atLeast) {
    const auto now = Clock::now();
    const auto sinceTick = std::chrono::duration_cast<milliseconds>(now - lastTick);
    const int delay =
        MillisecondsToQuietMoment(sinceTick.count(), static_cast<int>(atLeast.count()));
    return now + milliseconds(delay);
}

// The radio itself; lives on the worker thread only, as a RIG* is not
// thread-safe. Every call it makes runs under the watch's deadline.
class Radio {
  public:
    explicit Radio(CallWatch& watch) : watch_(watch) {}
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;
    ~Radio() {
        if (rig_ == nullptr) return;
        if (opened_) Call(kCallLimit, [this] { return rig_close(rig_); });
        rig_cleanup(rig_);
    }

    // Sets the radio up as the options say, without talking to it yet;
    // returns why it cannot be, or an empty text.
    std::string Configure(const HamlibOptions& options);
    // RIG_OK, Hamlib's error, or nullopt when the opening overran its deadline.
    std::optional<int> Open() {
        const int result = Call(kOpenLimit, [this] { return rig_open(rig_); });
        opened_ = result == RIG_OK;
        if (overran_) return std::nullopt;
        // Read the radio itself every time, so that a turn of its dial shows at once.
        if (opened_) rig_set_cache_timeout_ms(rig_, HAMLIB_CACHE_ALL, 0);
        return result;
    }
    OpenFailure WhyNotOpen(int result) const {
        return morvane::WhyNotOpen(rig_->state.rigport, result);
    }
    // The radio's frequency, or nullopt when it did not answer with one: a
    // broken radio or a hostile peer may answer "nan", "-5" or "1e300".
    std::optional<std::int64_t> ReadFrequency() {
        freq_t hertz = 0;
        if (Call(kCallLimit, [&] { return rig_get_freq(rig_, RIG_VFO_CURR, &hertz); }) != RIG_OK) {
            return std::nullopt;
        }
        if (!(hertz >= 0 && hertz <= kHighestFrequencyHz)) return std::nullopt;
        return static_cast<std::int64_t>(std::llround(hertz));
    }
    // RIG_OK, the radio's refusal, or a sign that it did not answer.
    int SetFrequency(std::int64_t hertz) {
        return Call(kCallLimit,
                    [&] { return rig_set_freq(rig_, RIG_VFO_CURR, static_cast<freq_t>(hertz)); });
    }
    // Whether a call overran its deadline: the radio is lost.
    bool Overran() const { return overran_; }
    bool HasMeter() const { return rig_has_get_level(rig_, RIG_LEVEL_STRENGTH) != 0; }
    // The S-meter in dB over S9, or nullopt when the radio gave no reading.
    std::optional<double> ReadStrength() {
        value_t level{};
        const auto read = [&] {
            return rig_get_level(rig_, RIG_VFO_CURR, RIG_LEVEL_STRENGTH, &level);
        };
        if (Call(kCallLimit, read) != RIG_OK) return std::nullopt;
        return static_cast<double>(level.i);
    }
    std::optional<RadioMode> ReadMode() {
        rmode_t mode = RIG_MODE_NONE;
        pbwidth_t width = 0;
        if (Call(kCallLimit, [&] { return rig_get_mode(rig_, RIG_VFO_CURR, &mode, &width); }) !=
            RIG_OK)
            return std::nullopt;
        return RadioMode{rig_strrmode(mode), width > 0 ? static_cast<std::int64_t>(width) : 0};
    }
    // The longest of the latest calls: how long the next read may take.
    std::chrono::microseconds LongestRecentCall() const {
        return callTimes_.empty() ? std::chrono::microseconds(0)
                                  : *std::max_element(callTimes_.begin(), callTimes_.end());
    }

  private:
    int Call(milliseconds limit, const std::function<int()>& call) {
        int result = -RIG_EIO;
        const auto start = Clock::now();
        if (!watch_.RunWithin(rig_, limit, [&] { result = call(); })) overran_ = true;
        callTimes_.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
        if (callTimes_.size() > kCallTimesKept) callTimes_.pop_front();
        return overran_ ? -RIG_ETIMEOUT : result;
    }
    bool SetConf(const std::string& name, const std::string& value) {
        const token_t token = rig_token_lookup(rig_, name.c_str());
        return token != RIG_CONF_END && rig_set_conf(rig_, token, value.c_str()) == RIG_OK;
    }

    CallWatch& watch_;
    RIG* rig_ = nullptr;
    bool opened_ = false;
    bool overran_ = false;
    std::deque<std::chrono::microseconds> callTimes_;
};

std::string Radio::Configure(const HamlibOptions& options) {
    rig_ = rig_init(static_cast<rig_model_t>(options.model));
    if (rig_ == nullptr) return "Hamlib has no radio model " + std::to_string(options.model);
    // Hamlib waits 10 s with retries by default; a radio that is gone must show sooner.
    SetConf("timeout", std::to_string(kHamlibTimeout.count()));
    SetConf("retry", "0");
    if (!options.port.empty() && !SetConf("rig_pathname", options.port)) {
        return "cannot use the port " + options.port;
    }
    if (options.serialSpeed > 0 && !SetConf("serial_speed", std::to_string(options.serialSpeed))) {
        return "cannot use the serial speed " + std::to_string(options.serialSpeed);
    }
    for (const auto& [name, value] : options.config) {
        if (!SetConf(name, value)) return "cannot set " + name + "=" + value + " for this radio";
    }
    return {};
}

// One step's meter reads, made by the worker between its other calls: the
// floor as late as it safely can before the chirp may come, after the decay
// of what the step before heard; the peak once the chirp must have passed;
// each only when it ends, by the longest of the latest calls, in time.
class StepListening {
  public:
    StepListening(std::int64_t hertz, const MeterPlan& plan) : plan_(plan) { reading_.hertz = hertz; }
    Clock::time_point NextReadAt(std::chrono::microseconds callTime) const {
        return floorDone_ ? plan_.peakFrom : plan_.floorBy - 2 * callTime - kReadMargin;
    }
    // Reads what is due with `read`, unless `retuneWaits`; true once all is read.
    template <typename Read, typename Waits>
    bool ReadDue(std::chrono::microseconds callTime, Read read, Waits retuneWaits) {
        const auto fits = [&](Clock::time_point by) {
            return !retuneWaits() && ReadFits(Clock::now(), callTime, by);
        };
        if (!std::exchange(floorDone_, true)) {
            if (fits(plan_.floorBy)) reading_.floorDb = read(reading_);
            return false;
        }
        for (int i = 0; i < kPeakReads && fits(plan_.leaveBy); ++i) {
            if (const std::optional<double> level = read(reading_))
                reading_.peakDb = std::max(reading_.peakDb.value_or(*level), *level);
        }
        return true;
    }
    const MeterReading& Reading() const { return reading_; }

  private:
    // A read's length varies; the floor keeps this much further clear of the chirp.
    static constexpr milliseconds kReadMargin{2};
    MeterPlan plan_;
    MeterReading reading_;
    bool floorDone_ = false;
};

// What the user is told about the radio, worked out once from the options.
struct RadioTexts {
    std::string name;    // "NET rigctl (model 2) at 127.0.0.1:4532": the link's description
    std::string driven;  // "rigctld at 127.0.0.1:4532": what the status line names
};

RadioTexts TextsFor(const HamlibOptions& options) {
    const std::optional<HamlibModel> model = FindHamlibModel(options.model);
    const std::string at = options.port.empty() ? "" : " at " + options.port;
    RadioTexts texts;
    texts.name = (model ? model->manufacturer + " " + model->name : "Hamlib radio") + " (model " +
                 std::to_string(options.model) + ")" + at;
    if (options.model == RIG_MODEL_NETRIGCTL) {
        texts.driven = "rigctld at " + (options.port.empty() ? "localhost:4532" : options.port);
    } else if (!model) {
        texts.driven = "radio model " + std::to_string(options.model) + at;
    } else {  // "Hamlib Dummy"; "FLRig", not "FLRig FLRig"
        const bool named = model->name.starts_with(model->manufacturer);
        texts.driven = (named ? model->name : model->manufacturer + " " + model->name) + at;
    }
    return texts;
}

// Why an opening that overran its deadline failed.
constexpr const char* kNoAnswer = "the radio does not answer";

struct Event {
    enum class Kind { State, Values, Answer, Meter, Mode, MeterMissing } kind;
    LinkReport report = {};    // State; MeterMissing: why, in its detail
    std::string display = {};  // Values: text2
    std::string hertz = {};    // Values: Text4
    TuneAnswer answer = {};    // Answer
    MeterReading meter = {};   // Meter
    RadioMode mode = {};       // Mode
};

Event State(LinkState state, std::string status, std::string detail) {
    return {.kind = Event::Kind::State, .report = {state, std::move(status), std::move(detail)}};
}
Event Connected(const RadioTexts& texts) {
    return State(LinkState::Connected, "Connected to " + texts.driven, texts.name);
}
Event Waiting(const RadioTexts& texts, const std::string& cause) {
    return State(LinkState::Waiting, "Not connected: waiting for " + texts.driven,
                 texts.name + ": " + cause + "; trying again every 2 s");
}
Event Lost(const RadioTexts& texts) {
    return State(LinkState::Lost,
                 "Not connected: the radio stopped answering; trying again every 2 s",
                 texts.name + ": the radio stopped answering; Morvane reconnects by itself");
}
Event CannotOpen(const RadioTexts& texts, const std::string& cause) {
    return State(LinkState::CannotOpen, "Not connected: cannot open the radio: " + cause,
                 texts.name + ": cannot open: " + cause);
}

}  // namespace

// The worker's side of the link: its thread's work, the watchdog over its
// radio calls, and what the two share with the link. Owned jointly by the link
// and the worker thread, so that a worker left behind never touches a link
// that has gone.
struct HamlibLink::Shared {
    Shared(HamlibOptions linkOptions, std::function<void()> wakeEventThread)
        : options(std::move(linkOptions)),
          texts(TextsFor(options)),
          wake(std::move(wakeEventThread)),
          watch([this] { CallOverran(); }) {}

    void Run();
    std::unique_ptr<Radio> OpenWhenReady(bool answeredBefore);
    bool FollowRadio(Radio& radio);
    bool Retune(Radio& radio, std::int64_t hertz);
    void MeetRadio(Radio& radio);
    bool ListenIfDue(Radio& radio, std::optional<StepListening>& listening);
    void EndListening(std::optional<StepListening>& listening);
    std::optional<MeterPlan> WaitForPlan(std::int64_t hertz);
    std::optional<double> ReadMeter(Radio& radio, MeterReading& reading);
    bool RetunePending();
    bool ReadModeIfDue(Radio& radio);
    std::optional<std::int64_t> Read(Radio& radio, std::optional<std::int64_t>& lastReported,
                                     bool failing);
    void Tell(Event event);
    bool IsNews(LinkReport& report);
    void CallOverran();
    bool WaitForWork(Clock::time_point nextRead, std::optional<std::int64_t>& frequency);
    bool SleepUntil(Clock::time_point until);
    bool WaitForFinish(milliseconds limit);
    Clock::time_point LastTick() const { return Clock::time_point(Clock::duration(lastTickNs)); }

    const HamlibOptions options;
    const RadioTexts texts;
    std::mutex mutex;                 // guards the fields below it
    std::condition_variable changed;  // work for the worker, or its end for the link
    std::function<void()> wake;       // cleared when the link goes, with the window
    bool stopping = false;
    bool finished = false;         // the worker is done with the radio
    bool connectedBefore = false;  // the radio has answered, so a failure to open is a loss
    LinkReport told;               // the last report queued
    std::optional<std::int64_t> pendingFrequency;
    Clock::time_point pendingSince;  // when the pending frequency was handed over
    std::optional<std::pair<std::int64_t, MeterPlan>> plan;  // the follower's, for the latest step
    Clock::time_point meterReadEnded;  // when the latest meter read ended
    std::deque<Event> events;
    // The worker's own: whether to read the meter on this radio, and its mode.
    bool meterReadable = false;
    bool meterMissingTold = false;
    std::optional<RadioMode> mode;
    Clock::time_point nextModeRead;
    std::atomic<int> meterSteps{0}, meterReads{0}, delayedRetunes{0};
    // When the window's last tick ran (steady clock), for the worker's reads.
    std::atomic<Clock::rep> lastTickNs{0};
    CallWatch watch;  // last: its watchdog calls back into the above
};

void HamlibLink::Shared::Run() {
    BlockSignalsInThisThread();
    bool answeredBefore = false;
    // A lost radio is closed at the end of each round, before it is opened afresh.
    while (const std::unique_ptr<Radio> radio = OpenWhenReady(answeredBefore)) {
        answeredBefore = true;
        Tell(Connected(texts));
        MeetRadio(*radio);
        if (!FollowRadio(*radio)) break;
        Tell(Lost(texts));
    }
    std::lock_guard lock(mutex);
    finished = true;
    changed.notify_all();
}

// Tries to open the radio every kReopenInterval while its failure may clear by
// itself. Null when it never will, or when the link goes first. A radio that
// has answered with these settings before may well answer again, whatever
// its failure now: a garbled answer from a peer that is starting, say.
std::unique_ptr<Radio> HamlibLink::Shared::OpenWhenReady(bool answeredBefore) {
    for (;;) {
        const Clock::time_point attempt = Clock::now();
        auto radio = std::make_unique<Radio>(watch);
        if (const std::string problem = radio->Configure(options); !problem.empty()) {
            Tell(CannotOpen(texts, problem));
            return nullptr;
        }
        const std::optional<int> result = radio->Open();
        if (result == RIG_OK) return radio;
        const OpenFailure failure =
            result ? radio->WhyNotOpen(*result) : OpenFailure{kNoAnswer, true};
        if (!failure.mayClear && !answeredBefore) {
            Tell(CannotOpen(texts, failure.cause));
            return nullptr;
        }
        Tell(Waiting(texts, failure.cause));
        radio.reset();
        if (!SleepUntil(attempt + kReopenInterval)) return nullptr;
    }
}

// Sends the queued frequencies and reads the radio's until the link goes
// (false) or until the radio is lost (true): a call overran its limit, or no
// call has brought a frequency back for kFailingLimit.
bool HamlibLink::Shared::FollowRadio(Radio& radio) {
    std::optional<std::int64_t> lastReported;
    // Only a reading ends a run of failures: a radio that takes commands but
    // never reports where it is has no hot link left to show. A command it
    // answered, even with a refusal, leaves the run as it is.
    constexpr Clock::time_point kNotFailing{};
    Clock::time_point failingSince = kNotFailing;
    auto nextRead = Clock::now();
    std::optional<StepListening> listening;  // the meter's reads around the latest step
    const auto wakeAt = [&] {
        return listening ? std::min(nextRead, listening->NextReadAt(radio.LongestRecentCall()))
                         : nextRead;
    };
    for (std::optional<std::int64_t> frequency; WaitForWork(wakeAt(), frequency);) {
        const auto callStart = Clock::now();
        bool answered = true;
        // A command goes before the next reading; the reading then shows its effect.
        if (frequency) {
            EndListening(listening);
            answered = Retune(radio, *frequency);
            if (const auto planned = answered && meterReadable ? WaitForPlan(*frequency) : std::nullopt)
                listening.emplace(*frequency, *planned);
        } else if (ListenIfDue(radio, listening)) {
        } else if (Read(radio, lastReported, failingSince != kNotFailing)) {
            failingSince = kNotFailing;
            nextRead = NextQuietMoment(LastTick(), options.pollInterval);
        } else {
            answered = false;
            nextRead = callStart + kRereadInterval;
        }
        if (!answered && failingSince == kNotFailing) failingSince = callStart;
        const bool failedTooLong =
            failingSince != kNotFailing && Clock::now() - failingSince >= kFailingLimit;
        if (radio.Overran() || failedTooLong) return true;
    }
    return false;
}

// Sends one frequency and tells how the radio took it; false when it did not answer.
bool HamlibLink::Shared::Retune(Radio& radio, std::int64_t hertz) {
    const int result = radio.SetFrequency(hertz);
    const Clock::time_point at = Clock::now();
    const bool answered = !IsNoAnswer(result);
    std::string refusal = result == RIG_OK ? "" : answered ? HamlibErrorText(result) : "no answer";
    Tell(
        {.kind = Event::Kind::Answer,
         .answer = {hertz, result == RIG_OK, at, std::move(refusal), answered}});
    return answered;
}

// What the link learns of a radio once it opens: whether its meter can be
// read, said once when it cannot, and the mode the chirp is listened for in.
void HamlibLink::Shared::MeetRadio(Radio& radio) {
    meterReadable = options.readMeter && radio.HasMeter();
    if (options.readMeter && !meterReadable && !std::exchange(meterMissingTold, true)) {
        Event missing{.kind = Event::Kind::MeterMissing};
        missing.report.detail = "the radio has no S-meter Hamlib can read (RIG_LEVEL_STRENGTH)";
        Tell(std::move(missing));
    }
    mode.reset();
    nextModeRead = Clock::now();
    ReadModeIfDue(radio);
}

// False when the radio did not answer.
bool HamlibLink::Shared::ReadModeIfDue(Radio& radio) {
    if (!meterReadable || Clock::now() < nextModeRead) return true;
    nextModeRead = Clock::now() + kModeReadInterval;
    const std::optional<RadioMode> now = radio.ReadMode();
    if (now && now != mode) {
        mode = now;
        Tell({.kind = Event::Kind::Mode, .mode = *now});
    }
    return now.has_value();
}

// The follower's plan for `hertz`, handed over just after the retune was.
std::optional<MeterPlan> HamlibLink::Shared::WaitForPlan(std::int64_t hertz) {
    std::unique_lock lock(mutex);
    const auto ready = [&] {
        return stopping || pendingFrequency || (plan && plan->first == hertz);
    };
    changed.wait_for(lock, kPlanWait, ready);
    if (stopping || pendingFrequency || !plan || plan->first != hertz) return std::nullopt;
    return std::exchange(plan, std::nullopt)->second;
}

// Makes the meter's reads that are due; false when none is, and the worker
// may read the frequency instead.
bool HamlibLink::Shared::ListenIfDue(Radio& radio, std::optional<StepListening>& listening) {
    const auto callTime = radio.LongestRecentCall();
    if (!listening || Clock::now() < listening->NextReadAt(callTime)) return false;
    const auto read = [&](MeterReading& reading) { return ReadMeter(radio, reading); };
    if (listening->ReadDue(callTime, read, [this] { return RetunePending(); }))
        EndListening(listening);
    return true;
}

// Passes on what was read around a step; the follower logs it with the step.
void HamlibLink::Shared::EndListening(std::optional<StepListening>& listening) {
    if (!listening) return;
    if (listening->Reading().reads > 0) ++meterSteps;
    Tell({.kind = Event::Kind::Meter, .meter = listening->Reading()});
    listening.reset();
}

std::optional<double> HamlibLink::Shared::ReadMeter(Radio& radio, MeterReading& reading) {
    const std::optional<double> level = radio.ReadStrength();
    ++reading.reads;
    ++meterReads;
    std::lock_guard lock(mutex);
    meterReadEnded = Clock::now();
    return level;
}

bool HamlibLink::Shared::RetunePending() {
    std::lock_guard lock(mutex);
    return stopping || pendingFrequency.has_value();
}

// The radio's frequency, passed on to the hot links when it has changed.
std::optional<std::int64_t> HamlibLink::Shared::Read(Radio& radio,
                                                     std::optional<std::int64_t>& lastReported,
                                                     bool failing) {
    // Now and then the mode instead of the frequency: one call at each quiet
    // moment, so that the reads between two ticks never run into a retune. Only
    // a frequency ends a run of failures, so none is read during one.
    if (!failing && lastReported && meterReadable && Clock::now() >= nextModeRead)
        return ReadModeIfDue(radio) ? lastReported : std::nullopt;
    const std::optional<std::int64_t> reading = radio.ReadFrequency();
    if (reading && reading != lastReported) {
        lastReported = reading;
        Tell({.kind = Event::Kind::Values,
              .display = DisplayFrequencyText(*reading),
              .hertz = DecimalText(*reading)});
    }
    return reading;
}

void HamlibLink::Shared::Tell(Event event) {
    std::lock_guard lock(mutex);
    if (told.state == LinkState::CannotOpen || stopping) return;  // nobody listens any more
    if (event.kind == Event::Kind::State && !IsNews(event.report)) return;
    // Only the newest frequency matters, so unread values never pile up.
    if (event.kind == Event::Kind::Values && !events.empty() &&
        events.back().kind == Event::Kind::Values) {
        events.back() = std::move(event);
    } else {
        events.push_back(std::move(event));
    }
    wake();  // under the lock: the link clears it, with `stopping`, before it goes
}

// Whether `report` changes what was told, under the lock. A radio that has
// answered before and does not open again is lost, whatever the cause, and
// each cause of waiting is told once, not at every try.
bool HamlibLink::Shared::IsNews(LinkReport& report) {
    if (report.state == LinkState::Waiting && connectedBefore) report = Lost(texts).report;
    if (report.state == told.state && report.detail == told.detail) return false;
    if (report.state == LinkState::Connected) {
        connectedBefore = true;
        // Asked for while the radio was away, and out of date by now: the
        // follower asks again for where the sweep is once it hears of this.
        pendingFrequency.reset();
    }
    told = report;
    return true;
}

// A call the watchdog gave up on, whether or not the worker is free again:
// the radio is not answering, and an open one is lost.
void HamlibLink::Shared::CallOverran() {
    Tell(Waiting(texts, kNoAnswer));
}

bool HamlibLink::Shared::WaitForWork(Clock::time_point nextRead,
                                     std::optional<std::int64_t>& frequency) {
    std::unique_lock lock(mutex);
    changed.wait_until(lock, nextRead, [this] { return stopping || pendingFrequency; });
    if (stopping) return false;
    frequency = std::exchange(pendingFrequency, std::nullopt);
    // A retune handed over while the meter was being read had to wait for it.
    if (frequency && pendingSince < meterReadEnded) ++delayedRetunes;
    return true;
}

// False when the link goes before `until`.
bool HamlibLink::Shared::SleepUntil(Clock::time_point until) {
    std::unique_lock lock(mutex);
    return !changed.wait_until(lock, until, [this] { return stopping; });
}

bool HamlibLink::Shared::WaitForFinish(milliseconds limit) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [this] { return finished; });
}

std::vector<HamlibModel> HamlibModels() {
    LoadHamlib();
    std::vector<HamlibModel> models;
    rig_list_foreach(
        [](const rig_caps* caps, rig_ptr_t data) {
            static_cast<std::vector<HamlibModel>*>(data)->push_back(ModelOf(*caps));
            return 1;  // go on
        },
        &models);
    return models;
}

std::optional<HamlibModel> FindHamlibModel(int id) {
    LoadHamlib();
    const rig_caps* caps = rig_get_caps(static_cast<rig_model_t>(id));
    if (caps == nullptr) return std::nullopt;
    return ModelOf(*caps);
}

HamlibLink::HamlibLink(HamlibOptions options, std::function<void()> wake)
    : shared_(std::make_shared<Shared>(std::move(options), std::move(wake))) {
    rig_set_debug(static_cast<rig_debug_level_e>(shared_->options.debugLevel));
    worker_ = std::thread([shared = shared_] { shared->Run(); });
}

HamlibLink::~HamlibLink() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->wake = nullptr;
    }
    shared_->changed.notify_all();
    shared_->watch.Hurry(kClosingCallLimit);
    const bool finished = shared_->WaitForFinish(kClosingLimit);
    shared_->watch.Stop();
    // A worker still in a call the watchdog could not end finishes it alone,
    // holding only what it shares; the program need not wait for it.
    if (finished) {
        worker_.join();
    } else {
        worker_.detach();
    }
}

void HamlibLink::NoteTick() {
    shared_->lastTickNs = Clock::now().time_since_epoch().count();
}

void HamlibLink::Tune(std::int64_t hertz) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pendingFrequency = hertz;
        shared_->pendingSince = Clock::now();
    }
    shared_->changed.notify_all();
}

void HamlibLink::Listen(std::int64_t hertz, const MeterPlan& plan) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->plan = {hertz, plan};
    }
    shared_->changed.notify_all();
}

MeterStats HamlibLink::Stats() const {
    return {shared_->meterSteps, shared_->meterReads, shared_->delayedRetunes};
}

const std::string& HamlibLink::RadioName() const {
    return shared_->texts.name;
}

void HamlibLink::DeliverEvents(LinkListener& listener) {
    std::deque<Event> events;
    {
        std::lock_guard lock(shared_->mutex);
        events.swap(shared_->events);
    }
    for (Event& event : events) {
        switch (event.kind) {
            case Event::Kind::State:
                listener.OnLinkState(event.report);
                break;
            case Event::Kind::Values:
                listener.OnItemValue(LinkItem::Display, std::move(event.display));
                listener.OnItemValue(LinkItem::Hertz, std::move(event.hertz));
                break;
            case Event::Kind::Answer:
                listener.OnTuneAnswer(event.answer);
                break;
            case Event::Kind::Meter:
                listener.OnMeterReading(event.meter);
                break;
            case Event::Kind::Mode:
                listener.OnRadioMode(event.mode);
                break;
            case Event::Kind::MeterMissing:
                listener.OnMeterMissing(event.report.detail);
                break;
        }
    }
}

}  // namespace morvane
