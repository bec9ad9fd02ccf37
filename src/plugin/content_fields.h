#pragma once
// The plug-in's content fields, which Double Commander shows as columns beside an
// entry's name: which archive supplies the entry, how many archives hold it, its stored
// size and how it is stored.
//
//   index  name         type               value
//       0  Archive      ft_string          the winning archive's file name
//       1  Archives     ft_numeric_32      the number of archives that hold the entry
//       2  Packed size  ft_numeric_64      the winning copy's stored bytes
//       3  Method       ft_multiplechoice  "stored" or "LZO" (its units: "stored|LZO")
//
// Files have all four; directories, the plug-in's root and the installations' tops none
// (ft_fieldempty).
#include <cstdint>
#include <string>

#include "installation/shown_names.h"
#include "plugin/guarded_sets.h"
#include "plugin/host_types.h"

namespace kestran::plugin {

struct ContentField {
    const char* name;
    int type;
    const char* units;  // "" or the choices, '|' between them
};

enum ContentFieldIndex : int { kArchiveField, kArchivesField, kPackedSizeField, kMethodField };

// In the order of ContentFieldIndex.
inline constexpr ContentField kContentFields[] = {
    {"Archive", ft_string, ""},
    {"Archives", ft_numeric_32, ""},
    {"Packed size", ft_numeric_64, ""},
    {"Method", ft_multiplechoice, "stored|LZO"},
};
inline constexpr int kContentFieldCount = sizeof(kContentFields) / sizeof(kContentFields[0]);

// One field's value for an entry. type is the field's type when there is a value (in
// text for ft_string and ft_multiplechoice, in number for the numeric types), or
// ft_fieldempty (no value for this entry), ft_fileerror (a path the loaded tree does not
// hold) or ft_nosuchfield (an index that names no field).
struct ContentValue {
    int type = ft_fieldempty;
    std::string text;
    std::int64_t number = 0;
};

// The value of field fieldIndex for the entry at a host path ("\NAME\dir\file", names
// as names shows them). Never loads an installation: one that is not loaded has empty
// fields.
ContentValue contentValue(const std::string& path, int fieldIndex, const GuardedSets& sets,
                          const kestran_db::ShownNames& names);

// The column set a host switches to in the plug-in's folders: the four fields after the
// size and date, in the form of the host's default view (the texts of
// FsContentGetDefaultView; "\n" there is a backslash and an n).
struct ContentView {
    std::string contents;  // "[=tc.size.bytes]\n[=tc.writedate]\n[=<fs>.Archive]..."
    std::string headers;   // "Size\nDate\nArchive..."
    std::string widths;    // the name's and the extension's widths first; < 0: right-aligned
    std::string options;   // "-1|0": no auto-adjusted width, no horizontal scrollbar
};
ContentView defaultContentView();

}  // namespace kestran::plugin
