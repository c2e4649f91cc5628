#include "testsupport/rigctld_proxy.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace morvane::testing {
namespace {

int ListenOnFreePort(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("the rigctld proxy cannot listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) close(fd);
    return -1;
}

// What does not fit the peer's socket buffer now is dropped: a peer that
// stops reading must not hold up the proxy.
void SendWhatFits(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t now =
            send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (now <= 0) return;
        sent += static_cast<std::size_t>(now);
    }
}

bool IsFrequencyCommand(const std::string& line) {
    return line.starts_with("F ") || line.starts_with("\\set_freq ");
}

bool IsFrequencyRead(const std::string& line) {
    return line == "f" || line == "\\get_freq";
}

}  // namespace

// One client and its own connection to the real rigctld.
struct RigctldProxy::Session {
    int client;
    int upstream;
    std::string pending;  // the client's bytes after its last complete line
    bool open = true;
    void Close() const {
        close(client);
        close(upstream);
    }
};

RigctldProxy::RigctldProxy(const RigctldProcess& rigctld) : upstreamPort_(rigctld.port()) {
    listener_ = ListenOnFreePort(port_);
    if (pipe(stopPipe_) != 0) {
        close(listener_);
        throw std::runtime_error("the rigctld proxy has no stop pipe");
    }
    thread_ = std::thread([this] { Run(); });
}

RigctldProxy::~RigctldProxy() {
    const char stop = 0;
    while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    for (const int fd : {listener_, stopPipe_[0], stopPipe_[1]}) close(fd);
}

void RigctldProxy::RefuseFrequencies() {
    std::lock_guard lock(mutex_);
    refusing_ = true;
}

void RigctldProxy::Trickle() {
    std::lock_guard lock(mutex_);
    trickling_ = true;
}

void RigctldProxy::AnswerFrequencyReadsWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    frequencyAnswer_ = text;
}

std::vector<std::string> RigctldProxy::RefusedCommands() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

void RigctldProxy::Run() {
    std::vector<Session> sessions;
    std::chrono::steady_clock::time_point nextByte;  // while trickling
    for (;;) {
        std::vector<pollfd> watched{{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Session& session : sessions) {
            watched.push_back({session.client, POLLIN, 0});
            watched.push_back({session.upstream, POLLIN, 0});
        }
        const bool trickling = [this] {
            std::lock_guard lock(mutex_);
            return trickling_;
        }();
        if (poll(watched.data(), watched.size(), trickling ? 50 : -1) < 0) continue;
        if (watched[0].revents != 0) break;
        if (trickling && std::chrono::steady_clock::now() >= nextByte) {
            for (const Session& session : sessions) SendWhatFits(session.client, "1");
            nextByte = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        }
        const std::size_t polled = sessions.size();  // Accept may add one
        if (watched[1].revents != 0) Accept(sessions);
        for (std::size_t i = 0; i < polled; ++i) {
            Serve(sessions[i], watched[2 + 2 * i].revents != 0, watched[3 + 2 * i].revents != 0);
        }
        std::erase_if(sessions, [](const Session& session) {
            if (!session.open) session.Close();
            return !session.open;
        });
    }
    for (const Session& session : sessions) session.Close();
}

void RigctldProxy::Serve(Session& session, bool fromClient, bool fromUpstream) {
    if (fromClient) session.open = PassClientLines(session);
    if (!session.open || !fromUpstream) return;
    char buffer[4096];
    const ssize_t got = recv(session.upstream, buffer, sizeof buffer, 0);
    session.open = got > 0;
    if (session.open) SendWhatFits(session.client, {buffer, static_cast<std::size_t>(got)});
}

void RigctldProxy::Accept(std::vector<Session>& sessions) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const int upstream = ConnectTo(upstreamPort_);
    if (upstream < 0) {
        close(client);  // no rigctld behind us: the client sees the connection drop
        return;
    }
    sessions.push_back({client, upstream, {}});
}

// Reads what the client sent and passes each complete line on, or answers it
// here. False when the client has gone.
bool RigctldProxy::PassClientLines(Session& session) {
    char buffer[4096];
    const ssize_t got = recv(session.client, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    session.pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end; (end = session.pending.find('\n')) != std::string::npos;) {
        const std::string line = session.pending.substr(0, end);
        session.pending.erase(0, end + 1);
        if (const std::optional<std::string> answer = AnswerInstead(line)) {
            SendWhatFits(session.client, *answer);
        } else {
            SendWhatFits(session.upstream, line + "\n");
        }
    }
    return true;
}

std::optional<std::string> RigctldProxy::AnswerInstead(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (trickling_) return "";  // the requests go unanswered
    if (refusing_ && IsFrequencyCommand(line)) {
        refused_.push_back(line);
        return "RPRT -9\n";
    }
    if (frequencyAnswer_ && IsFrequencyRead(line)) return *frequencyAnswer_ + "\n";
    return std::nullopt;
}

}  // namespace morvane::testing
