// The window's texts that do not live in a form.
#pragma once

namespace kavonel::texts {

inline constexpr const char* kAboutMenuItem = "&About Orvessa Configuration Tool";
inline constexpr const char* kScriptFileFilter = "Text file (*.txt)";
inline constexpr const char* kScriptFileSuffix = "txt";
inline constexpr const char* kApplicationName = "Kavonel";

}  // namespace kavonel::texts
