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

// Hamlib waits 500 ms for each answer (set below); a call that takes much
// longer than that is held up by a peer that trickles or hangs.
constexpr milliseconds kCallLimit{750};
// Opening takes several exchanges, and Hamlib alone spends 2 s giving up on a
// serial device that is missing (it tries four times).
constexpr milliseconds kOpenLimit{3000};
constexpr milliseconds kRetryInterval{2000};
// When the link goes: how much longer a call under way may take, and how long
// the worker has to close the radio before it is left behind.
constexpr milliseconds kClosingCallLimit{200};
constexpr milliseconds kClosingLimit{700};

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
    // Returns false only when the radio did not answer; a refusal is an answer.
    bool SetFrequency(std::int64_t hertz) {
        const int result = Call(kCallLimit, [&] {
            return rig_set_freq(rig_, RIG_VFO_CURR, static_cast<freq_t>(hertz));
        });
        return result != -RIG_ETIMEOUT && result != -RIG_EIO;
    }
    // Whether a call overran its deadline: the radio is lost.
    bool Overran() const { return overran_; }

  private:
    int Call(milliseconds limit, const std::function<int()>& call) {
        int result = -RIG_EIO;
        if (!watch_.RunWithin(rig_, limit, [&] { result = call(); })) overran_ = true;
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
};

std::string Radio::Configure(const HamlibOptions& options) {
    rig_ = rig_init(static_cast<rig_model_t>(options.model));
    if (rig_ == nullptr) return "Hamlib has no radio model " + std::to_string(options.model);
    // Hamlib waits 10 s with retries by default; a radio that is gone must show within 2 s.
    SetConf("timeout", "500");
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

std::string WaitingStatus(const RadioTexts& texts) {
    return "Not connected: waiting for " + texts.driven;
}

struct Event {
    enum class Kind { Opened, Waiting, Closed, Values } kind;
    std::string description = {};  // Opened, Waiting, Closed: the link's description from now on
    std::string status = {};       // Closed: what the status line says from now on
    std::string display = {};      // Values: text2
    std::string hertz = {};        // Values: Text4
};

Event Opened(const RadioTexts& texts) {
    return {.kind = Event::Kind::Opened, .description = texts.name};
}
Event Waiting(const RadioTexts& texts, const std::string& cause) {
    return {.kind = Event::Kind::Waiting,
            .description = texts.name + ": " + cause + "; trying again every 2 s"};
}
Event StoppedAnswering(const RadioTexts& texts) {
    return {
        .kind = Event::Kind::Closed,
        .description = texts.name + ": the radio stopped answering",
        .status = "Not connected: the radio stopped answering; restart Morvane once it is back"};
}
Event CannotOpen(const RadioTexts& texts, const std::string& cause) {
    return {.kind = Event::Kind::Closed,
            .description = texts.name + ": cannot open: " + cause,
            .status = "Not connected: cannot open the radio: " + cause};
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
    std::unique_ptr<Radio> OpenWhenReady();
    bool FollowRadio(Radio& radio);
    void Tell(Event event);
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
    bool finished = false;  // the worker is done with the radio
    bool opened = false;    // told that the radio opened
    bool closed = false;    // told that the link closed: nothing more to tell
    std::string waiting;    // the last reason for waiting told
    std::optional<std::int64_t> pendingFrequency;
    std::deque<Event> events;
    // When the window's last tick ran (steady clock), for the worker's reads.
    std::atomic<Clock::rep> lastTickNs{0};
    CallWatch watch;  // last: its watchdog calls back into the above
};

void HamlibLink::Shared::Run() {
    BlockSignalsInThisThread();
    if (const std::unique_ptr<Radio> radio = OpenWhenReady()) {
        Tell(Opened(texts));
        if (FollowRadio(*radio)) Tell(StoppedAnswering(texts));
    }  // the radio is closed here
    std::lock_guard lock(mutex);
    finished = true;
    changed.notify_all();
}

// Tries to open the radio every kRetryInterval while its failure may clear by
// itself. Null when it never will, or when the link goes first.
std::unique_ptr<Radio> HamlibLink::Shared::OpenWhenReady() {
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
        if (!failure.mayClear) {
            Tell(CannotOpen(texts, failure.cause));
            return nullptr;
        }
        Tell(Waiting(texts, failure.cause));
        radio.reset();
        if (!SleepUntil(attempt + kRetryInterval)) return nullptr;
    }
}

// Sends the queued frequencies and reads the radio's until the link goes
// (false) or until the radio has stopped answering (true).
bool HamlibLink::Shared::FollowRadio(Radio& radio) {
    std::optional<std::int64_t> lastReported;
    // Radio calls in a row that brought no frequency back. Only a reading clears
    // it: a radio that takes commands but never reports where it is has no hot
    // link left to show. A command it answered, even with a refusal, leaves it.
    int failures = 0;
    auto nextRead = Clock::now();
    for (std::optional<std::int64_t> frequency; WaitForWork(nextRead, frequency);) {
        const auto callStart = Clock::now();
        // A command goes before the next reading; the reading then shows its effect.
        if (frequency) {
            failures += radio.SetFrequency(*frequency) ? 0 : 1;
        } else {
            const std::optional<std::int64_t> reading = radio.ReadFrequency();
            failures = reading ? 0 : failures + 1;
            // A failed reading is tried again 100 ms after it began: at once after a
            // time-out, so that three of them in a row take 1.5 s and no more.
            nextRead = reading ? NextQuietMoment(LastTick(), options.pollInterval)
                               : callStart + milliseconds(100);
            if (reading && reading != lastReported) {
                lastReported = reading;
                Tell({.kind = Event::Kind::Values,
                      .display = DisplayFrequencyText(*reading),
                      .hertz = DecimalText(*reading)});
            }
        }
        // A call that overran its deadline is as bad as any number that failed.
        if (radio.Overran() || failures >= options.failedCallsBeforeClosed) return true;
    }
    return false;
}

void HamlibLink::Shared::Tell(Event event) {
    std::lock_guard lock(mutex);
    if (closed || stopping) return;  // nobody listens any more
    if (event.kind == Event::Kind::Waiting) {
        if (event.description == waiting) return;  // said once, not at every try
        waiting = event.description;
    }
    opened = opened || event.kind == Event::Kind::Opened;
    closed = event.kind == Event::Kind::Closed;
    // Only the newest frequency matters, so unread values never pile up.
    if (event.kind == Event::Kind::Values && !events.empty() &&
        events.back().kind == Event::Kind::Values) {
        events.back() = std::move(event);
    } else {
        events.push_back(std::move(event));
    }
    wake();  // under the lock: the link clears it, with `stopping`, before it goes
}

// A call the watchdog gave up on, whether or not the worker is free again:
// an open radio has stopped answering, and one being opened does not answer.
void HamlibLink::Shared::CallOverran() {
    bool wasOpened = false;
    {
        std::lock_guard lock(mutex);
        wasOpened = opened;
    }
    Tell(wasOpened ? StoppedAnswering(texts) : Waiting(texts, kNoAnswer));
}

bool HamlibLink::Shared::WaitForWork(Clock::time_point nextRead,
                                     std::optional<std::int64_t>& frequency) {
    std::unique_lock lock(mutex);
    changed.wait_until(lock, nextRead, [this] { return stopping || pendingFrequency; });
    if (stopping) return false;
    frequency = std::exchange(pendingFrequency, std::nullopt);
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
    description_ = shared_->texts.name + ": opening";
    connectedStatus_ = "Connected to " + shared_->texts.driven;
    notConnectedStatus_ = WaitingStatus(shared_->texts);
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

void HamlibLink::Execute(const std::string& command) {
    const std::optional<std::int64_t> hertz = FrequencyOfCommand(command);
    if (!hertz) throw LinkFailure("not a frequency command");
    if (!open_) throw LinkFailure("the radio is not open");
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pendingFrequency = *hertz;
    }
    shared_->changed.notify_all();
}

void HamlibLink::DeliverEvents(LinkListener& listener) {
    std::deque<Event> events;
    {
        std::lock_guard lock(shared_->mutex);
        events.swap(shared_->events);
    }
    for (Event& event : events) {
        switch (event.kind) {
            case Event::Kind::Opened:
                open_ = true;
                description_ = std::move(event.description);
                listener.OnLinkOpened();
                break;
            case Event::Kind::Waiting:
                description_ = std::move(event.description);
                break;
            case Event::Kind::Closed:
                open_ = false;
                description_ = std::move(event.description);
                notConnectedStatus_ = std::move(event.status);
                listener.OnLinkClosed();
                break;
            case Event::Kind::Values:
                listener.OnItemValue(LinkItem::Display, std::move(event.display));
                listener.OnItemValue(LinkItem::Hertz, std::move(event.hertz));
                break;
        }
    }
}

}  // namespace morvane
