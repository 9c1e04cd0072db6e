// For the batch tests of both platforms: the script they run, and a JSON report read
// back while it grows.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace kavonel::testing {

inline constexpr char kFiveCommands[] =
    "pollmode set 01 end\n"
    "configuration set\n  9F1A 02 0840\nend\n"
    "group set\n  FFE4 01 00\nend\n"
    "group set\n  FFE4 01 01\nend\n"
    "pollmode set 01 end\n";

// The readers in the report so far; 0 while there is none or it cannot be read whole.
inline size_t Entries(const std::filesystem::path& report) {
  try {
    return nlohmann::json::parse(Read(report)).at("readers").size();
  } catch (const nlohmann::json::exception&) {
    return 0;
  }
}

}  // namespace kavonel::testing
