#pragma once
// The game's file-system description, fsgame.ltx in an installation's root, read for
// the archive directories it names. An alias line:
//
//   $packs$ = true | false | $base$ | data\textures
//   field 0: alias name   1, 2: flags, exactly "true" or "false"
//   field 3: base, an alias defined on an earlier line or else a path
//   field 4: subdirectory below the base (may be missing)
//
// sets the alias to base\subdirectory and names that directory for the archive search.
// Lines starting with ';' (after whitespace) are comments; "$fs_root$" starts as the
// installation's root path.
#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace kestran_db {

constexpr const char* kFsgameFileName = "fsgame.ltx";
constexpr const char* kFsRootAlias = "$fs_root$";

// A line is read into a buffer of this size: lines of 1024 characters or more end the
// reading of the file (the lines before keep their effect).
constexpr std::size_t kFsgameLineBuffer = 1024;

// A directory longer than this can't be opened on any system the product runs on; a
// line that would name one is ignored, which also keeps chains of aliases from
// growing without bound.
constexpr std::size_t kMaxFsgameDirectory = 4096;

// Reading ends once this many directories are named: each one is searched for archives
// and, with its alias, holds up to some 9 KB, so an endless run of lines reusing a long
// alias would otherwise grow without bound (a 2 MB file could hold 700 MB). Real files
// name a few dozen.
constexpr std::size_t kMaxFsgameDirectories = 1024;

// The path of fsgame.ltx for a root path, with nothing removed from the root path
// ("C:\Game\" gives "C:\Game\\fsgame.ltx", which the system accepts).
std::string fsgamePath(const std::string& rootPath);

// The archive directories fsgame.ltx names, one per accepted line in file order (a
// directory named by two lines stands twice). The stream is read as text whatever mode
// it was opened in: a CR directly before an LF is dropped. Reading stops at the end of
// the stream, a read error, a line of kFsgameLineBuffer characters or more, or the
// kMaxFsgameDirectories-th directory; never more than one line buffer is held.
std::vector<std::string> readFsgameDirectories(std::istream& in, const std::string& rootPath);

}  // namespace kestran_db
