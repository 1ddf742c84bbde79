// Memory readings for the benchmarks, and a way to run one configuration in
// a child process so that each has a peak of its own.
//
// Method: the parent builds the inputs once; RunInChild forks, and the child
// resets its high-water mark to its current resident size (writing "5" to
// /proc/self/clear_refs), so that the peak it reports afterwards is what the
// configuration added on top of the inherited inputs, plus those inputs
// (BaselineResidentBytes tells how much). Where the reset is refused the
// peak includes everything the child inherited.
//
// Linux only (reads /proc/self/status; falls back to getrusage).
#ifndef VOCS_BENCH_SUPPORT_PEAK_MEMORY_H_
#define VOCS_BENCH_SUPPORT_PEAK_MEMORY_H_

#include <cstddef>
#include <functional>
#include <string>

namespace vocs::bench {

// Peak resident set size of this process in bytes (VmHWM), or 0.
size_t PeakResidentBytes();
// Current resident set size in bytes (VmRSS), or 0.
size_t CurrentResidentBytes();
// Resets the peak to the current resident size; false when the kernel
// refuses.
bool ResetPeakResident();

// Runs `body` in a forked child and returns the text it produced in *output.
// The child first resets its peak (see above). False when the child could not
// be started or did not exit normally with status 0.
bool RunInChild(const std::function<std::string()>& body, std::string* output);

}  // namespace vocs::bench

#endif  // VOCS_BENCH_SUPPORT_PEAK_MEMORY_H_
