// InterruptGuard: SIGINT and SIGTERM end a run in order.
//
// While a guard lives, the two signals are blocked in every thread the
// process starts afterwards and received by a thread of the guard's own, so
// nothing runs in a signal handler. On the first signal the guard calls
// `stop` (the command makes the host refuse every call, so the module's
// command returns soon) and waits for the run's thread to call Finish: the
// command then removes the run's files, keeps the old table and reports
// "interrupted" itself. A module busy for long without calling the host
// (merging gigabytes) cannot stop that way; after `patience`, or at a second
// signal, the guard calls `emergency` (which removes what it can from this
// thread), prints "vocs: interrupted" and ends the process with exit code
// 130.
//
// Create the guard on the main thread before any other thread starts.
#ifndef VOCS_CLI_INTERRUPT_GUARD_H_
#define VOCS_CLI_INTERRUPT_GUARD_H_

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <signal.h>

namespace vocs::cli {

inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it

class InterruptGuard {
 public:
  InterruptGuard(std::function<void()> stop, std::function<void()> emergency,
                 std::chrono::milliseconds patience = std::chrono::milliseconds(3000));
  // Stops listening; the signals are unblocked again in the calling thread.
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  bool interrupted() const { return interrupted_.load(); }
  // The run's thread has stopped and takes over the clean-up.
  void Finish();

 private:
  void Watch();

  std::function<void()> stop_;
  std::function<void()> emergency_;
  std::chrono::milliseconds patience_;
  sigset_t signals_;
  sigset_t previous_;
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_INTERRUPT_GUARD_H_
