// SPDX-License-Identifier: GPL-3.0-or-later
// The test sounder as a program of its own, for pictures and trials by hand: a
// real rigctld with a peer in front of it that plays a sounder's sweep and the
// radio's S-meter, until a signal ends it.
//
//   sounder_peer PERIOD_S START_S RATE_KHZ MUF_MHZ [PATH_DELAY_MS]
//
// It prints the peer's address ("127.0.0.1:40123") once it takes clients; the
// radio behind it is set to USB with a 2.4 kHz filter, as the sounder is heard.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "testsupport/rigctld.hpp"

int main(int argc, char* argv[]) {
    using namespace morvane::testing;
    if (argc < 5) {
        std::fprintf(stderr, "usage: sounder_peer PERIOD_S START_S RATE_KHZ MUF_MHZ [PATH_DELAY_MS]\n");
        return 2;
    }
    RigctldProcess rigctld;
    RigctldProxy peer(rigctld);
    peer.PlaySounder({std::atof(argv[1]), std::atof(argv[2]), std::atoi(argv[3])});
    peer.SetMaximumUsableFrequency(std::atof(argv[4]) * 1e6);
    peer.SetPathDelay(std::chrono::milliseconds(argc > 5 ? std::atoi(argv[5]) : 10));
    const std::string usb = "rigctl -m 2 -r " + rigctld.address() + " M USB 2400";
    if (std::system(usb.c_str()) != 0) return 1;
    std::printf("%s\n", peer.address().c_str());
    std::fflush(stdout);
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    int signal = 0;
    sigwait(&ending, &signal);
    return 0;
}
