// The window's texts that do not live in a form.
#pragma once

#include "resources/dialog_templates.h"

namespace kavonel::texts {

inline constexpr const char* kAboutMenuItem = KAVONEL_ABOUT_MENU_TEXT;
inline constexpr const char* kScriptFileFilter = "Text file (*.txt)";
inline constexpr const char* kScriptFileSuffix = "txt";
inline constexpr const char* kApplicationName = "Kavonel";

}  // namespace kavonel::texts
