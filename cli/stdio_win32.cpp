#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli_view.h"

namespace kavonel {

// The C runtime's text mode would turn every "\n" into "\r\n": the trace and the log
// must be the same bytes as on Linux, for scripts that compare or parse them.
void UseBinaryStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace kavonel
