#include "testsupport/rigctld_proxy.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace morvane::testing {

// What does not fit the peer's socket buffer now is dropped: a peer that
// stops reading must not hold up the proxy.
static void Send(int fd, const std::string& bytes) {
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

RigctldProxy::RigctldProxy(const RigctldProcess& rigctld)
    : upstreamPort_(rigctld.port()), listener_(LoopbackSocket(0, &port_)), thread_([this] {
          for (pollfd waiting{listener_, POLLIN, 0}; !stopping_;) {
              if (poll(&waiting, 1, 50) <= 0) continue;
              const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
              const int upstream = LoopbackSocket(upstreamPort_);
              serving_ = upstream >= 0;  // else the client sees it close
              if (serving_) Serve(client, upstream);
              serving_ = false;
              close(client);
              close(upstream);
          }
      }) {}

RigctldProxy::~RigctldProxy() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

void RigctldProxy::AnswerFrequencyReadsWith(const std::vector<std::string>& texts) {
    std::lock_guard lock(mutex_);
    readings_ = texts;
}

std::vector<std::string> RigctldProxy::RefusedCommands() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

// Until either side goes, or the proxy does.
void RigctldProxy::Serve(int client, int upstream) {
    std::string pending;  // the client's bytes after its last complete line
    auto nextByte = std::chrono::steady_clock::now();
    for (pollfd ready[] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}}; !stopping_;) {
        poll(ready, 2, 50);
        if (trickling_ && std::chrono::steady_clock::now() >= nextByte) {
            Send(client, "1");
            nextByte = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        }
        char buffer[4096];
        for (const pollfd& side : ready) {
            const ssize_t got = side.revents ? recv(side.fd, buffer, sizeof buffer, 0) : 1;
            if (got <= 0) return;
            if (side.revents && side.fd == upstream) Send(client, {buffer, std::size_t(got)});
            if (side.revents && side.fd == client) pending.append(buffer, std::size_t(got));
        }
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string request = pending.substr(0, end);
            pending.erase(0, end + 1);
            const std::optional<std::string> answer = AnswerInstead(request);
            Send(answer ? client : upstream, answer.value_or(request + "\n"));
        }
    }
}

std::optional<std::string> RigctldProxy::AnswerInstead(const std::string& request) {
    if (trickling_) return "";  // the requests go unanswered
    std::lock_guard lock(mutex_);
    if (refusing_ && (request.starts_with("F ") || request.starts_with("\\set_freq "))) {
        refused_.push_back(request);
        return "RPRT -9\n";
    }
    if (readings_.empty() || (request != "f" && request != "\\get_freq")) return std::nullopt;
    const std::string reading = readings_.front() + "\n";
    if (readings_.size() > 1) readings_.erase(readings_.begin());
    return reading;
}

}  // namespace morvane::testing
