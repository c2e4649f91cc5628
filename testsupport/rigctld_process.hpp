#pragma once

#include <sys/types.h>

#include <string>

namespace morvane::testing {

// A TCP socket connected to the loopback `port` (-1 when nothing takes it), or
// for port 0 one listening on a loopback port the kernel chooses: `*chosen`.
int LoopbackSocket(int port, int* chosen = nullptr);

// A real rigctld serving Hamlib's dummy radio on a free loopback port, killed
// when destroyed. SIGSTOP to pid() makes a hung radio of it.
class RigctldProcess {
  public:
    explicit RigctldProcess(const std::string& extraArguments = {});
    ~RigctldProcess() { Kill(); }
    RigctldProcess(const RigctldProcess&) = delete;
    RigctldProcess& operator=(const RigctldProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void Kill();  // SIGKILL, and reap it
    // A new rigctld on the same port, as a user restarting it would. Returns at
    // once, so that a window's thread need not wait for it to listen.
    void Restart();

  private:
    std::string command_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace morvane::testing
