#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/rigctld_process.hpp"

namespace morvane::testing {

// A rigctld-protocol peer on a loopback port of its own, in front of a real
// rigctld: it passes every request and answer through unchanged, except that
// it can refuse each frequency command ("F ...") as a radio does that will not
// go there, answer each frequency read ("f") with a text of the test's
// choosing, as a broken radio or a hostile peer might, or trickle. The link
// under test talks TCP to it exactly as it talks to rigctld.
class RigctldProxy {
  public:
    explicit RigctldProxy(const RigctldProcess& rigctld);
    ~RigctldProxy();
    RigctldProxy(const RigctldProxy&) = delete;
    RigctldProxy& operator=(const RigctldProxy&) = delete;

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // From now on, answer every frequency command "RPRT -9" (rejected).
    void RefuseFrequencies();
    // From now on, answer every frequency read with `text` and a line end.
    void AnswerFrequencyReadsWith(const std::string& text);
    // From now on, answer nothing but one byte every 0.3 s to each client, never a line end.
    void Trickle();
    // The frequency commands refused so far, as they arrived ("F 2000000.000000").
    std::vector<std::string> RefusedCommands() const;

  private:
    struct Session;
    void Run();
    void Accept(std::vector<Session>& sessions);
    void Serve(Session& session, bool fromClient, bool fromUpstream);
    bool PassClientLines(Session& session);
    std::optional<std::string> AnswerInstead(const std::string& line);

    int upstreamPort_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;  // guards the four below, shared with the proxy's thread
    bool refusing_ = false;
    bool trickling_ = false;
    std::optional<std::string> frequencyAnswer_;
    std::vector<std::string> refused_;
    std::thread thread_;  // last: starts after everything it uses
};

}  // namespace morvane::testing
