// Runs a test body at every processor level this machine has.
#pragma once
#include <cstdint>

#include "primitives/processor_level.h"

namespace vv::test {

// body(level) at levels 0 up to the one the library selects here; the level
// in force before the call is put back afterwards.
template <typename Body>
void AtEveryLevel(Body body) {
  const int32_t selected = ProcessorLevel();
  SelectProcessorLevel();
  const int32_t supported = ProcessorLevel();
  for (int32_t level = 0; level <= supported; ++level) {
    ForceProcessorLevelForTesting(level);
    body(level);
  }
  ForceProcessorLevelForTesting(selected);
}

}  // namespace vv::test
