// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/call_watch_hamlib.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

namespace morvane {
namespace {

// Makes the next read on the radio's port end at once: a socket is shut
// down, and anything else (a serial device) becomes /dev/null, which reads as
// the end of the file. Either way Hamlib fails the call with an I/O error.
void CutPort(RIG& rig) {
    // Hamlib sets the descriptor on the calling thread while it opens the port.
    const int fd = std::atomic_ref<int>(rig.state.rigport.fd).load(std::memory_order_relaxed);
    if (fd <= STDERR_FILENO) return;  // not open yet (still connecting): nothing to cut
    if (shutdown(fd, SHUT_RDWR) == 0 || errno != ENOTSOCK) return;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return;
    dup2(null, fd);
    close(null);
}

}  // namespace

void BlockSignalsInThisThread() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

CallWatch::CallWatch(std::function<void()> overran)
    : overran_(std::move(overran)), watchdog_([this] { Watch(); }) {}

CallWatch::~CallWatch() {
    Stop();
}

bool CallWatch::RunWithin(RIG* rig, std::chrono::milliseconds limit,
                          const std::function<void()>& call) {
    {
        std::lock_guard lock(mutex_);
        rig_ = rig;
        deadline_ = Clock::now() + std::min(limit, hurry_.value_or(limit));
        overrun_ = false;
    }
    changed_.notify_one();
    call();
    // The watchdog cuts the port only while rig_ is set, so once it is cleared
    // here Hamlib may close the port and the number be used again elsewhere.
    std::lock_guard lock(mutex_);
    rig_ = nullptr;
    return !overrun_;
}

void CallWatch::Hurry(std::chrono::milliseconds limit) {
    {
        std::lock_guard lock(mutex_);
        hurry_ = limit;
        deadline_ = std::min(deadline_, Clock::now() + limit);
    }
    changed_.notify_one();
}

void CallWatch::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    if (watchdog_.joinable()) watchdog_.join();
}

void CallWatch::Watch() {
    BlockSignalsInThisThread();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (rig_ == nullptr || overrun_) {
            changed_.wait(lock);
        } else if (Clock::now() < deadline_) {
            changed_.wait_until(lock, deadline_);
        } else {
            CutPort(*rig_);
            overrun_ = true;
            lock.unlock();
            overran_();
            lock.lock();
        }
    }
}

}  // namespace morvane
