// For targets that load scripts through the C exports.
#pragma once

#include <cstdint>

#include "quassel.h"

namespace fuzz {

// The exports keep one decoder for the whole process, which holds its buffer and its
// warnings from one load to the next. A load whose file cannot be opened leaves it
// holding nothing, so each input frees what it allocated and libFuzzer need not run it
// again to look for a leak.
inline void ReleaseLibraryState() {
  uint32_t count = 0, maxSize = 0, total = 0, detail = 0, line = 0;
  LoadConfigurationText("", 0, &count, &maxSize, &total, &detail, &line);
}

}  // namespace fuzz
