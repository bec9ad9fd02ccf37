#pragma once
// Texts as they go into the tool's human-readable output. A name from an archive may
// hold any byte, and control bytes reaching a terminal raw would drive it (an ESC
// starts an escape sequence). They are written as C escapes instead: \t, \n, \r, \a,
// \b, \f, \v, \e, and \xHH for the others below 0x20 and for DEL. Every other byte
// stays as it is.
#include <string>
#include <string_view>

#include "common/name_codec.h"

namespace kestran::cli {

// Where texts are UTF-8 (Linux terminals and file names), a name from an archive that
// is not valid UTF-8 is shown, and extracted, converted from a code page, each name of
// a path on its own (see NameCodec); a path the user gives is mapped back. The codec the
// options chose (--name-encoding, or main.name_encoding of a --config file); by default
// CP1251 where texts are UTF-8, and names as their bytes elsewhere (Windows consoles and
// file names take the bytes in their own ANSI code page).
void useNameCodec(const NameCodec& codec);
const NameCodec& nameCodec();
NameCodec defaultNameCodec();

// A name (one component) as it becomes a local file name.
std::string localName(std::string_view name);

// A name (or a path of names, "/" or "\" between them) as an archive holds it, for
// people: every name from an archive goes through here on its way to human-readable
// output, so that this is the one place where names meet the terminal.
std::string printable(std::string_view name);

// A path of this system (an archive's file, a local target), for people.
std::string printablePath(std::string_view path);

}  // namespace kestran::cli
