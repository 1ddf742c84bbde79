#include "cli/interrupt_guard.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace vocs::cli {

namespace {

// Waits up to `timeout` for one of `signals`; true when one came.
bool WaitForSignal(const sigset_t& signals, std::chrono::milliseconds timeout) {
  struct timespec wait;
  wait.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  wait.tv_nsec = static_cast<long>((timeout.count() % 1000) * 1000000);
  return sigtimedwait(&signals, nullptr, &wait) > 0;
}

}  // namespace

InterruptGuard::InterruptGuard(std::function<void()> stop, std::function<void()> emergency,
                               std::chrono::milliseconds patience)
    : stop_(std::move(stop)), emergency_(std::move(emergency)), patience_(patience) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  thread_ = std::thread([this] { Watch(); });
}

InterruptGuard::~InterruptGuard() {
  closing_ = true;
  // Wakes the watcher now rather than at its next poll, which every run
  // would otherwise wait for at its end (a sharded run once per process). It
  // takes any signal once closing_ is set as the end of watching.
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
  // A signal that came during the clean-up is part of the same interrupt.
  while (WaitForSignal(signals_, std::chrono::milliseconds(0))) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptGuard::Finish() { finished_ = true; }

void InterruptGuard::Watch() {
  constexpr std::chrono::milliseconds kPoll(100);
  while (!closing_) {
    if (!WaitForSignal(signals_, kPoll)) continue;
    if (closing_) break;
    if (interrupted_.exchange(true)) continue;  // the run is cleaning up already
    stop_();
    const auto deadline = std::chrono::steady_clock::now() + patience_;
    bool again = false;
    while (!finished_ && !closing_ && std::chrono::steady_clock::now() < deadline && !again) {
      again = WaitForSignal(signals_, kPoll);
    }
    if (finished_ || closing_) continue;
    emergency_();
    std::fputs("\nvocs: interrupted\n", stderr);
    std::fflush(stderr);
    _exit(kExitInterrupted);
  }
}

}  // namespace vocs::cli
