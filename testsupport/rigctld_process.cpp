#include "testsupport/rigctld_process.hpp"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace morvane::testing {

using namespace std::chrono_literals;

int LoopbackSocket(int port, int* chosen) {
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
    if (bind(fd, any, length) != 0 || listen(fd, 4) != 0 || getsockname(fd, any, &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
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
    for (int attempt = 0; !Listening(port_); ++attempt, std::this_thread::sleep_for(10ms)) {
        if (attempt == 500) throw std::runtime_error("no rigctld (is libhamlib-utils installed?)");
    }
}

void RigctldProcess::Restart() {
    Kill();
    const pid_t parent = getpid();
    if ((pid_ = fork()) != 0) return;
    // A test that dies (a sanitizer halting it, say) must not leave rigctld behind
    // holding the test runner's output open: it dies with the thread that started it.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent) {
        execl("/bin/sh", "sh", "-c", command_.c_str(), static_cast<char*>(nullptr));
    }
    _exit(127);
}

void RigctldProcess::Kill() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace morvane::testing
