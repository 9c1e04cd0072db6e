// UTF-8 inside, UTF-16 at the Windows API's edge.
#pragma once

#include <string>
#include <string_view>

namespace kavonel {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace kavonel
