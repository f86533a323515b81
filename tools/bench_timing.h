// Timing helpers shared by vvbench's decoding and encoding modes.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace vv {

using BenchClock = std::chrono::steady_clock;

// The median of a non-empty list (the mean of the middle two for an even
// count).
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double MillisecondsSince(BenchClock::time_point start) {
  return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

}  // namespace vv
