#pragma once
// The --json output: one JSON document per call, written with Boost.JSON.
//
// Names in archives and paths on disk are bytes; JSON strings are Unicode text. A
// text that is well-formed UTF-8 goes in as it is, under its key. One that is not
// goes in twice: under its key with each byte that is not part of a well-formed
// UTF-8 sequence replaced by U+FFFD (for people), and under the key with "_bytes"
// added, percent-encoded (for programs): each byte below 0x20 or above 0x7E, and "%"
// itself, becomes %HH (two upper-case hex digits), every other byte stays. Decoding
// that gives the exact bytes back (Python: urllib.parse.unquote_to_bytes), so a
// reader takes KEY_bytes where it is present and KEY elsewhere.
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>
#include <string>
#include <string_view>

namespace kestran::cli {

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool isWellFormedUtf8(std::string_view text);

// text with every byte that is not part of a well-formed sequence replaced by U+FFFD.
std::string withReplacementCharacters(std::string_view text);

// text percent-encoded as described above.
std::string percentEncoded(std::string_view text);

// Puts text under key, and under key + "_bytes" when it is not well-formed UTF-8.
void putText(boost::json::object& into, std::string_view key, std::string_view text);

// Writes the document and a line end to standard output; throws kestran::Failure
// (CannotWrite) when that fails.
void printJson(const boost::json::value& document);

}  // namespace kestran::cli
