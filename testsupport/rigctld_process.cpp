#include "testsupport/rigctld_process.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace morvane::testing {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

namespace {

// Closes a descriptor when it goes out of scope.
struct Socket {
    int fd;
    ~Socket() {
        if (fd >= 0) close(fd);
    }
};

// A port no one listens on now: the kernel picks it for a socket we then close.
int FreePort() {
    Socket probe{socket(AF_INET, SOCK_STREAM, 0)};
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(probe.fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(probe.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free port");
    }
    return ntohs(address.sin_port);
}

bool Connects(int port) {
    Socket client{socket(AF_INET, SOCK_STREAM, 0)};
    const sockaddr_in address = Loopback(port);
    return connect(client.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

RigctldProcess::RigctldProcess(const std::string& extraArguments)
    : extraArguments_(extraArguments), port_(FreePort()) {
    Spawn();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Listening()) {
            // rigctld 4.5 may close a descriptor of the next client while it still tidies
            // up after one that has just left; give it time to finish with our probe.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
    throw std::runtime_error("rigctld did not start (is libhamlib-utils installed?)");
}

void RigctldProcess::Spawn() {
    const std::string command =
        "exec rigctld -m 1 -T 127.0.0.1 -t " + std::to_string(port_) + " " + extraArguments_;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies (a sanitizer halting it, say) must not leave rigctld behind,
        // holding the test runner's output open until its time-out: the kernel kills
        // it when the thread that started it ends.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

bool RigctldProcess::Listening() const {
    return Connects(port_);
}

RigctldProcess::~RigctldProcess() {
    Kill();
}

void RigctldProcess::Restart() {
    Kill();
    Spawn();
}

void RigctldProcess::Suspend() {
    kill(pid_, SIGSTOP);
}
void RigctldProcess::Resume() {
    kill(pid_, SIGCONT);
}

void RigctldProcess::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::optional<std::string> RigctldProcess::Ask(const std::string& line) const {
    Socket client{socket(AF_INET, SOCK_STREAM, 0)};
    const sockaddr_in address = Loopback(port_);
    if (connect(client.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return std::nullopt;
    }
    const std::string request = line + "\n";
    if (send(client.fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return std::nullopt;
    std::string answer;
    char buffer[256];
    pollfd ready{client.fd, POLLIN, 0};
    while (answer.find('\n') == std::string::npos && poll(&ready, 1, 2000) > 0) {
        const ssize_t got = recv(client.fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t end = answer.find('\n');
    if (end == std::string::npos) return std::nullopt;
    return answer.substr(0, end);
}

std::optional<long long> RigctldProcess::Frequency() const {
    // rigctld 4.5 drops a connection that follows another too closely; a second
    // try a moment later gets through.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<std::string> answer = Ask("f");
        if (answer && !answer->empty() && !answer->starts_with("RPRT")) return std::stoll(*answer);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

}  // namespace morvane::testing
