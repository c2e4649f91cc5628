// Resident memory of morvane over a long run with a failing link:
//
//   failing_link_memory MORVANE [SECONDS]
//
// Runs two morvanes side by side on Qt's offscreen platform, each for SECONDS
// (default 600) after a 10 s start:
//   refusing  drives a real rigctld through a peer that refuses every frequency,
//             so the link stays open and each new step of the sweep is refused;
//   lost      drives a real rigctld that is killed 5 s in, so the link is closed
//             and every tick takes the not-connected path.
// Prints the peak (VmHWM) and current (VmRSS) resident memory of each at the
// start and at the end. Exits non-zero only when a morvane did not live through
// the run; the figures themselves are for people to read, not a pass or fail.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "testsupport/rigctld_process.hpp"
#include "testsupport/rigctld_proxy.hpp"

namespace {

using morvane::testing::RigctldProcess;
using morvane::testing::RigctldProxy;

// One morvane, started offscreen with its output discarded, ended when this
// goes, or with the thread that started it if this program is killed.
class Morvane {
  public:
    Morvane(const std::string& program, const std::string& rigctldAddress) {
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ != 0) return;
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(program.c_str(), program.c_str(), "-m", "2", "-r", rigctldAddress.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ~Morvane() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Morvane(const Morvane&) = delete;
    Morvane& operator=(const Morvane&) = delete;

    bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// A line of /proc/PID/status in kB ("VmHWM:", "VmRSS:").
std::optional<long> StatusKb(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name)) return std::stol(line.substr(name.size()));
    }
    return std::nullopt;
}

struct Memory {
    long peakKb = -1;
    long residentKb = -1;
};

Memory MemoryOf(const Morvane& morvane) {
    return {StatusKb(morvane.pid(), "VmHWM:").value_or(-1),
            StatusKb(morvane.pid(), "VmRSS:").value_or(-1)};
}

void Report(const char* name, const Memory& start, const Memory& end, bool lived) {
    std::printf("%-9s peak %6ld kB -> %6ld kB (%+ld kB), resident %6ld kB -> %6ld kB%s\n", name,
                start.peakKb, end.peakKb, end.peakKb - start.peakKb, start.residentKb,
                end.residentKb, lived ? "" : "  DIED");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MORVANE [SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string program = argv[1];
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 600;
    RigctldProcess refusingRigctld;
    RigctldProxy refusingRadio(refusingRigctld);
    refusingRadio.RefuseFrequencies();
    RigctldProcess lostRigctld;
    Morvane refusing(program, refusingRadio.address());
    Morvane lost(program, lostRigctld.address());

    std::this_thread::sleep_for(std::chrono::seconds(5));
    lostRigctld.Kill();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const Memory refusingStart = MemoryOf(refusing);
    const Memory lostStart = MemoryOf(lost);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const bool bothLived = refusing.Running() && lost.Running();

    std::printf("Linux, %d s after a 10 s start:\n", seconds);
    Report("refusing", refusingStart, MemoryOf(refusing), refusing.Running());
    Report("lost", lostStart, MemoryOf(lost), lost.Running());
    std::printf("frequencies refused: %zu\n", refusingRadio.RefusedCommands().size());
    return bothLived ? 0 : 1;
}
