#include "cli_view.h"

namespace kavonel {

// POSIX streams never rewrite line ends.
void UseBinaryStandardStreams() {}

}  // namespace kavonel
