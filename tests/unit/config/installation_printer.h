#pragma once
// Readable Installation values in test failure messages.
#include <ostream>

#include "config/installation_table.h"

namespace kestran {

inline void PrintTo(const Installation& installation, std::ostream* out) {
    *out << "{\"" << installation.rootPath << "\", " << installation.versionCode << "}";
}

}  // namespace kestran
