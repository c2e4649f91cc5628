#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace morvane::testing {

// The IPv4 loopback address at `port` (0: let the kernel choose).
sockaddr_in Loopback(int port);

// A real rigctld serving Hamlib's dummy radio on a free loopback port, for
// tests that drive the link end to end. Stopped (killed) when destroyed.
class RigctldProcess {
  public:
    explicit RigctldProcess(const std::string& extraArguments = {});
    ~RigctldProcess();
    RigctldProcess(const RigctldProcess&) = delete;
    RigctldProcess& operator=(const RigctldProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    void Suspend();  // SIGSTOP: a hung radio
    void Resume();   // SIGCONT
    void Kill();     // SIGKILL, and reap it
    // Starts a new rigctld on the same port, as a user restarting it would; the
    // old one is killed first if it still runs. Returns at once, without waiting
    // for it to listen (so that a test's event thread need not wait): see Listening.
    // The new one lives as long as the thread that called this.
    void Restart();
    // Whether rigctld takes connections now.
    bool Listening() const;

    // Sends one protocol line ("f", "F 14074000") on a connection of its own and
    // returns the first answer line, or nullopt when rigctld does not answer.
    std::optional<std::string> Ask(const std::string& line) const;
    // The frequency rigctld's radio is on now.
    std::optional<long long> Frequency() const;

  private:
    void Spawn();

    std::string extraArguments_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace morvane::testing
