#pragma once
// The find-data records handed to the host, and the one bounded text copy every
// host buffer is filled with.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/host_types.h"

namespace kestran::plugin {

// Copies text and its terminator into a buffer of size bytes; a text of size
// characters or more is cut to size - 1 and terminated in the last byte. Never writes
// past size bytes; a size of 0 writes nothing.
void copyBounded(char* destination, std::string_view text, std::size_t size);

// A record with only the attributes (0x10 for a directory, 0 for a file), the last-write
// time, the low size word (0 for a directory) and the name set; every other field zero.
WIN32_FIND_DATAA makeFindData(std::string_view name, bool isDirectory, std::uint32_t size, FILETIME time);

}  // namespace kestran::plugin
