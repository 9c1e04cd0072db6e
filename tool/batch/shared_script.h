// The script of a batch, decoded once: every reader is handed the same records,
// read-only, each through a cursor of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder.h"
#include "operations/operations.h"

namespace kavonel {

struct SharedScript {
  std::string path;
  quassel::LoadResult load;
  std::vector<std::vector<uint8_t>> records;
  std::string sha256;  // of the file's bytes, lower-case hex; empty when it cannot be read
};

// Decodes the script at path for readerType. load.result tells whether it can be run.
SharedScript DecodeScriptOnce(const std::string& path, int readerType);

// The two exports as a single-port run sees them, over script's records: the load
// answers the decoded counts, each hand-out the next record for this reader alone.
// script must outlive the result.
ScriptDecoder RecordHandout(const SharedScript& script);

// SHA-256 of a file's bytes as lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);

}  // namespace kavonel
