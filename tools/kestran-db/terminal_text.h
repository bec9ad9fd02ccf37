#pragma once
// Texts from archives as they go into the tool's human-readable output: a name may hold
// any byte, and control bytes reaching a terminal raw would drive it (an ESC starts an
// escape sequence). They are written as C escapes instead: \t, \n, \r, \a, \b, \f, \v,
// \e, and \xHH for the others below 0x20 and for DEL. Every other byte stays as it is.
#include <string>
#include <string_view>

namespace kestran::cli {

std::string printable(std::string_view text);

}  // namespace kestran::cli
