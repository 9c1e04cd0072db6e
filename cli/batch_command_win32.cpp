// kavonel-cli on Windows runs one reader at a time: the batch engine's report writers and
// its port watch are not built for Windows yet. The command line is the same, so that a
// batch is refused with a plain word rather than as an unknown option.
#include <cstdio>

#include "batch_command.h"

namespace kavonel {
namespace {

constexpr int kExitUsage = 64;

int NotInThisBuild(const char* what) {
  std::fprintf(
      stderr, "kavonel-cli: %s: not available in the Windows build (one --port at a time)\n", what);
  return kExitUsage;
}

}  // namespace

int RunBatch(const BatchOptions&, const BatchReaderOptions&, const std::string&) {
  return NotInThisBuild("several readers at once");
}

int RunWatch(const BatchOptions&, const BatchReaderOptions&, const std::string&) {
  return NotInThisBuild("watch");
}

}  // namespace kavonel
