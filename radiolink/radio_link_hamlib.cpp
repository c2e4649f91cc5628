#include "radiolink/radio_link_hamlib.hpp"

#include <hamlib/rig.h>

#include <cmath>
#include <mutex>

#include "radiolink/frequency_text.hpp"
#include "tracking/number_text.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane {
namespace {

// Hamlib's trace goes to stderr from the first call on, so it is quietened first.
void LoadHamlib() {
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        rig_set_debug(RIG_DEBUG_NONE);
        rig_load_all_backends();
    });
}

// A short name for a Hamlib error code; rigerror() drags in the debug trace.
std::string ErrorText(int code) {
    switch (code < 0 ? -code : code) {
        case RIG_EINVAL:
            return "invalid parameter";
        case RIG_ECONF:
            return "invalid configuration";
        case RIG_ENOMEM:
            return "out of memory";
        case RIG_ENIMPL:
            return "not supported by this radio";
        case RIG_ETIMEOUT:
            return "no answer (timed out)";
        case RIG_EIO:
            return "input/output error";
        case RIG_EPROTO:
            return "protocol error";
        case RIG_ERJCTED:
            return "command rejected by the radio";
        case RIG_ENAVAIL:
            return "not available";
        default:
            return "Hamlib error " + std::to_string(code);
    }
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
std::chrono::steady_clock::time_point NextQuietMoment(std::chrono::steady_clock::time_point lastTick,
                                                      std::chrono::milliseconds atLeast) {
    const auto now = std::chrono::steady_clock::now();
    const auto sinceTick = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTick);
    const int delay =
        MillisecondsToQuietMoment(sinceTick.count(), static_cast<int>(atLeast.count()));
    return now + std::chrono::milliseconds(delay);
}

// The radio itself; lives on the worker thread only, as a RIG* is not thread-safe.
class Radio {
  public:
    Radio() = default;
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;
    ~Radio() {
        if (rig_ == nullptr) return;
        if (opened_) rig_close(rig_);
        rig_cleanup(rig_);
    }

    // Opens the radio; returns why it could not, or an empty text.
    std::string Open(const HamlibOptions& options);
    // The radio's frequency, or nullopt when it did not answer with one: a
    // broken radio or a hostile peer may answer "nan", "-5" or "1e300".
    std::optional<std::int64_t> ReadFrequency() {
        freq_t hertz = 0;
        if (rig_get_freq(rig_, RIG_VFO_CURR, &hertz) != RIG_OK) return std::nullopt;
        if (!(hertz >= 0 && hertz <= kHighestFrequencyHz)) return std::nullopt;
        return static_cast<std::int64_t>(std::llround(hertz));
    }
    // Returns false only when the radio did not answer; a refusal is an answer.
    bool SetFrequency(std::int64_t hertz) {
        const int result = rig_set_freq(rig_, RIG_VFO_CURR, static_cast<freq_t>(hertz));
        return result != -RIG_ETIMEOUT && result != -RIG_EIO;
    }

  private:
    bool SetConf(const std::string& name, const std::string& value) {
        const token_t token = rig_token_lookup(rig_, name.c_str());
        return token != RIG_CONF_END && rig_set_conf(rig_, token, value.c_str()) == RIG_OK;
    }

    RIG* rig_ = nullptr;
    bool opened_ = false;
};

std::string Radio::Open(const HamlibOptions& options) {
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
    const int result = rig_open(rig_);
    if (result != RIG_OK) return "cannot open the radio: " + ErrorText(result);
    opened_ = true;
    // Read the radio itself every time, so that a turn of its dial shows at once.
    rig_set_cache_timeout_ms(rig_, HAMLIB_CACHE_ALL, 0);
    return {};
}

// "Hamlib Dummy (model 1)", with where it is reached when a port was given.
std::string RadioName(const HamlibOptions& options) {
    const std::optional<HamlibModel> model = FindHamlibModel(options.model);
    std::string name = model ? model->manufacturer + " " + model->name : "Hamlib radio";
    name += " (model " + std::to_string(options.model) + ")";
    if (!options.port.empty()) name += " at " + options.port;
    return name;
}

}  // namespace

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
    : options_(std::move(options)), wake_(std::move(wake)) {
    LoadHamlib();
    rig_set_debug(static_cast<rig_debug_level_e>(options_.debugLevel));
    description_ = RadioName(options_) + ": opening";
    worker_ = std::thread([this] { Run(); });
}

HamlibLink::~HamlibLink() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workArrived_.notify_one();
    worker_.join();
}

void HamlibLink::NoteTick() {
    lastTickNs_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

std::chrono::steady_clock::time_point HamlibLink::LastTick() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastTickNs_));
}

void HamlibLink::Execute(const std::string& command) {
    const std::optional<std::int64_t> hertz = FrequencyOfCommand(command);
    if (!hertz) throw LinkFailure("not a frequency command");
    if (!open_) throw LinkFailure("the radio is not open");
    {
        std::lock_guard lock(mutex_);
        pendingFrequency_ = *hertz;
    }
    workArrived_.notify_one();
}

void HamlibLink::DeliverEvents(LinkListener& listener) {
    std::deque<Event> events;
    {
        std::lock_guard lock(mutex_);
        events.swap(events_);
    }
    for (Event& event : events) {
        switch (event.kind) {
            case Event::Kind::Opened:
                open_ = true;
                description_ = std::move(event.display);
                listener.OnLinkOpened();
                break;
            case Event::Kind::Closed:
                open_ = false;
                description_ = std::move(event.display);
                listener.OnLinkClosed();
                break;
            case Event::Kind::Values:
                listener.OnItemValue(LinkItem::Display, std::move(event.display));
                listener.OnItemValue(LinkItem::Hertz, std::move(event.hertz));
                break;
        }
    }
}

void HamlibLink::Post(Event event) {
    {
        std::lock_guard lock(mutex_);
        // Only the newest frequency matters, so unread values never pile up.
        if (event.kind == Event::Kind::Values && !events_.empty() &&
            events_.back().kind == Event::Kind::Values) {
            events_.back() = std::move(event);
        } else {
            events_.push_back(std::move(event));
        }
    }
    wake_();
}

bool HamlibLink::WaitForWork(std::chrono::steady_clock::time_point nextRead,
                             std::optional<std::int64_t>& frequency) {
    std::unique_lock lock(mutex_);
    workArrived_.wait_until(lock, nextRead, [this] { return stopping_ || pendingFrequency_; });
    if (stopping_) return false;
    frequency = std::exchange(pendingFrequency_, std::nullopt);
    return true;
}

void HamlibLink::Run() {
    Radio radio;
    const std::string name = RadioName(options_);
    if (const std::string problem = radio.Open(options_); !problem.empty()) {
        Post({Event::Kind::Closed, name + ": " + problem, {}});
        return;
    }
    Post({Event::Kind::Opened, name, {}});
    const bool gone =
        FollowRadio([&radio](std::int64_t hertz) { return radio.SetFrequency(hertz); },
                    [&radio] { return radio.ReadFrequency(); });
    if (gone) Post({Event::Kind::Closed, name + ": the radio stopped answering", {}});
}

bool HamlibLink::FollowRadio(const std::function<bool(std::int64_t)>& setFrequency,
                             const std::function<std::optional<std::int64_t>()>& readFrequency) {
    std::optional<std::int64_t> lastReported;
    // Radio calls in a row that brought no frequency back. Only a reading clears
    // it: a radio that takes commands but never reports where it is has no hot
    // link left to show. A command it answered, even with a refusal, leaves it.
    int failures = 0;
    auto nextRead = std::chrono::steady_clock::now();
    for (std::optional<std::int64_t> frequency; WaitForWork(nextRead, frequency);) {
        const auto callStart = std::chrono::steady_clock::now();
        // A command goes before the next reading; the reading then shows its effect.
        if (frequency) {
            failures += setFrequency(*frequency) ? 0 : 1;
            if (failures >= options_.failedCallsBeforeClosed) return true;
            continue;
        }
        const std::optional<std::int64_t> reading = readFrequency();
        failures = reading ? 0 : failures + 1;
        if (failures >= options_.failedCallsBeforeClosed) return true;
        // A failed reading is tried again 100 ms after it began: at once after a
        // time-out, so that three of them in a row take 1.5 s and no more.
        nextRead = reading ? NextQuietMoment(LastTick(), options_.pollInterval)
                           : callStart + std::chrono::milliseconds(100);
        if (reading && reading != lastReported) {
            lastReported = reading;
            Post({Event::Kind::Values, DisplayFrequencyText(*reading), DecimalText(*reading)});
        }
    }
    return false;
}

}  // namespace morvane
