// Script text inside a message meant for a person: a terminal or a window shows it as
// text and never acts on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quassel {

// Printable ASCII and well-formed UTF-8 stay as they are. Control characters (C0, DEL,
// C1), invisible formatting characters (zero-width, direction controls, byte order
// mark), bytes that are not well-formed UTF-8, and the backslash become \xHH, one per
// byte (two lower-case digits): an escape sequence cannot reach the terminal, a NUL
// cannot cut the message short, and the backslash stays unambiguous.
// At most maxBytes bytes of text are shown, cut between two characters; *cut (if given)
// says whether any were left out.
std::string EscapedText(std::string_view text, size_t maxBytes = SIZE_MAX, bool* cut = nullptr);

}  // namespace quassel
