// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/rigctld.hpp"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

namespace morvane::testing {

using namespace std::chrono_literals;

// A TCP socket connected to the loopback `port` (-1 when nothing takes it), or
// for port 0 one listening on a loopback port the kernel chooses: `*chosen`.
static int LoopbackSocket(int port, int* chosen = nullptr) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    auto* any = reinterpret_cast<sockaddr*>(&address);
    socklen_t length = sizeof address;
    if (port != 0) {
        if (connect(fd, any, length) == 0) return fd;
        close(fd);
        return -1;
    }
    if (bind(fd, any, length) != 0 || listen(fd, 4) != 0 || getsockname(fd, any, &length) != 0)
        throw std::runtime_error("cannot listen on loopback");
    *chosen = ntohs(address.sin_port);
    return fd;
}

// From the kernel's table: rigctld 4.5 may close a client's descriptor while it
// tidies up after a probe that connected just before.
static bool Listening(int port) {
    char listening[48];
    std::snprintf(listening, sizeof listening, "0100007F:%04X 00000000:0000 0A", port);
    std::ifstream table("/proc/net/tcp");
    return std::string(std::istreambuf_iterator<char>(table), {}).find(listening) !=
           std::string::npos;
}

RigctldProcess::RigctldProcess(const std::string& extraArguments) {
    close(LoopbackSocket(0, &port_));  // a port no one listens on now
    command_ = "exec rigctld -m 1 -T 127.0.0.1 -t " + std::to_string(port_) + " " + extraArguments;
    Restart();
    for (int attempt = 0; !Listening(port_); ++attempt, std::this_thread::sleep_for(10ms))
        if (attempt == 500) throw std::runtime_error("no rigctld (is libhamlib-utils installed?)");
}

void RigctldProcess::Restart() {
    Kill();
    const pid_t parent = getpid();
    if ((pid_ = fork()) != 0) return;
    // A test that dies (a sanitizer halting it, say) must not leave rigctld behind
    // holding the test runner's output open: it dies with the thread that started it.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent)
        execl("/bin/sh", "sh", "-c", command_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

void RigctldProcess::Kill() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// What does not fit the peer's socket buffer now is dropped: a peer that
// stops reading must not hold up the proxy.
static void Send(int fd, const std::string& bytes) {
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

RigctldProxy::RigctldProxy(const RigctldProcess& rigctld)
    : upstreamPort_(rigctld.port()),
      listener_(LoopbackSocket(0, &port_)),
      thread_([this](std::stop_token stop) {
          for (pollfd waiting{listener_, POLLIN, 0}; !stop.stop_requested();) {
              if (poll(&waiting, 1, 50) <= 0) continue;
              const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
              const int upstream = LoopbackSocket(upstreamPort_);
              ++clients_;
              if (upstream >= 0) Serve(client, upstream, stop);  // else the client sees it close
              close(client);
              close(upstream);
          }
          close(listener_);
      }) {}

static double NowS() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

static bool SetsFrequency(const std::string& request) {
    return request.starts_with("F ") || request.starts_with("\\set_freq ");
}

double Sweep::ReachesUtcMs(double hertz, double nearUtcMs) const {
    const double periodMs = periodS * 1e3;
    const double firstMs = startS * 1e3 + hertz / kHzPerS;  // in the period 1970 began with
    return firstMs + std::round((nearUtcMs - firstMs) / periodMs) * periodMs;
}

// How far the meter has risen toward a full chirp (0 to 1) at `nowS` on `hertz`, tuned there
// since `sinceS`: in USB the chirp is heard from 300 to 2 700 Hz above the dial, the meter
// rising within a few ms while it is, and falling slowly after. What reaches the radio now
// left the sounder `delayS` ago; a sweep before the running one is long forgotten.
static double Envelope(const Sweep& sweep, double hertz, double sinceS, double nowS,
                       double delayS) {
    const double leftS = nowS - delayS, hertzPerS = sweep.kHzPerS * 1e3;
    const double intoPeriodS =
        std::fmod(std::fmod(leftS - sweep.startS, sweep.periodS) + sweep.periodS, sweep.periodS);
    const double arrivesS = leftS - intoPeriodS + delayS;  // the running sweep's 0 Hz, here
    const double inS = std::max(arrivesS + (hertz + 300) / hertzPerS, sinceS);
    const double outS = arrivesS + std::min(hertz + 2700, sweep.TopHz()) / hertzPerS;
    const double heardS = std::min(outS, nowS) - inS;
    if (heardS <= 0) return 0;
    return (1 - std::exp(-heardS / 0.002)) * std::exp(-std::max(nowS - outS, 0.0) / 0.150);
}

void RigctldProxy::Tuning::Asked(const std::string& request) {
    askedHz.reset();
    if (SetsFrequency(request))
        askedHz = std::strtod(request.c_str() + request.rfind(' '), nullptr);
}

// The radio is on the new frequency once rigctld says so, and has heard nothing there yet.
void RigctldProxy::Tuning::Answered(std::string_view answer) {
    if (askedHz && answer.starts_with("RPRT 0")) *this = {{}, *askedHz, NowS()};
    askedHz.reset();
}

// Until either side goes, or the proxy does. A trickle's byte goes at each wake-up:
// every 0.3 s while the client waits for an answer.
void RigctldProxy::Serve(int client, int upstream, std::stop_token stop) {
    std::string pending;  // the client's bytes after its last complete line
    Tuning tuning;
    const auto answer = [&](const std::string& bytes) {  // a slow radio: the next request waits
        std::this_thread::sleep_for(std::chrono::milliseconds(lateMs_));
        Send(client, bytes);
    };
    for (pollfd ready[] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}}; !stop.stop_requested();) {
        const bool trickling = mode_ == Mode::Trickling;
        if (poll(ready, 2, trickling ? 300 : 50) >= 0 && trickling) Send(client, "1");
        char buffer[4096];
        for (const pollfd& side : ready) {
            const ssize_t got = side.revents ? recv(side.fd, buffer, sizeof buffer, 0) : 1;
            if (got <= 0) return;
            if (side.revents && side.fd == upstream) {
                tuning.Answered({buffer, std::size_t(got)});
                answer({buffer, std::size_t(got)});
            }
            if (side.revents && side.fd == client) pending.append(buffer, std::size_t(got));
        }
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string request = pending.substr(0, end);
            pending.erase(0, end + 1);
            const std::optional<std::string> instead = AnswerInstead(request, tuning);
            if (!instead) tuning.Asked(request);
            instead ? answer(*instead) : Send(upstream, request + "\n");
        }
    }
}

std::optional<std::string> RigctldProxy::AnswerInstead(const std::string& request,
                                                       const Tuning& tuning) {
    const bool setsFrequency = SetsFrequency(request);
    if (mode_ == Mode::Trickling) return "";  // the requests go unanswered
    std::unique_lock lock(mutex_);
    if (mode_ == Mode::Failing || (mode_ == Mode::Refusing && setsFrequency)) {
        if (setsFrequency) refused_.push_back(request);
        return "RPRT " + std::to_string(code_) + "\n";
    }
    if (sweep_ && request == "l STRENGTH") {
        const Sweep sweep = *sweep_;
        lock.unlock();  // the read takes its time; the test may change the air meanwhile
        return MeterReading(sweep, tuning);
    }
    if (readings_.empty() || request != "f") return std::nullopt;
    const std::string reading = readings_.front() + "\n";
    if (readings_.size() > 1) readings_.erase(readings_.begin());
    return reading;
}

std::string RigctldProxy::MeterReading(const Sweep& sweep, const Tuning& tuning) {
    const std::chrono::duration<double, std::milli> half(static_cast<double>(readTimeMs_) / 2);
    std::this_thread::sleep_for(half);
    // Above the maximum usable frequency the sounder's signal never comes down here.
    const bool heard = tuning.sinceS > 0 && tuning.hertz < mufHz_;
    const double delayS = static_cast<double>(pathDelayMs_) / 1e3;
    const double envelope =
        heard ? Envelope(sweep, tuning.hertz, tuning.sinceS, NowS(), delayS) : 0;
    thread_local std::minstd_rand noise;  // one per proxy, each on its own thread
    const double db = -40 + std::uniform_real_distribution(-1.0, 1.0)(noise) + 50 * envelope;
    std::this_thread::sleep_for(half);
    return std::to_string(std::lround(db)) + "\n";
}

}  // namespace morvane::testing
