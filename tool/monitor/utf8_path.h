// File names are UTF-8 text inside the programs on every system: the Windows programs
// run with the UTF-8 code page, so their arguments, environment and -A calls are UTF-8.
// std::filesystem::path made from a std::string decodes it with the C library's locale
// on Windows, which is not UTF-8 there (a folder "Zoë" would not be found): every name
// that goes to std::filesystem goes through Utf8Path.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kavonel {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8String(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kavonel
