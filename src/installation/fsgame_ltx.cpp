#include "installation/fsgame_ltx.h"

#include <map>
#include <utility>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/replace.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>

namespace kestran_db {

namespace {

constexpr char kCommentMark = ';';
constexpr const char* kFieldSeparators = "=|";
constexpr std::size_t kMinFields = 4;
constexpr std::size_t kAliasField = 0;
constexpr std::size_t kFirstFlagField = 1;
constexpr std::size_t kSecondFlagField = 2;
constexpr std::size_t kBaseField = 3;
constexpr std::size_t kSubdirectoryField = 4;

// Whitespace by the classic "C" rules, independent of the global locale.
bool isClassicSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isFlag(const std::string& field) { return field == "true" || field == "false"; }

enum class LineResult { Line, End };

// One line into `line`, as a text-mode getline into a buffer of kFsgameLineBuffer
// bytes: the LF is consumed but not kept, CR LF counts as LF, and a line that doesn't
// fit the buffer (1024 characters or more) ends the reading. At the end of the stream
// a last line without LF still counts; nothing at all read means the end.
LineResult readLine(std::istream& in, std::string& line) {
    constexpr std::size_t kMaxLineLength = kFsgameLineBuffer - 1;
    line.clear();
    for (;;) {
        int c = in.get();
        if (in.bad()) return LineResult::End;
        if (c == std::istream::traits_type::eof()) return line.empty() ? LineResult::End : LineResult::Line;
        if (c == '\r' && in.peek() == '\n') c = in.get();
        if (c == '\n') return LineResult::Line;
        if (line.size() == kMaxLineLength) return LineResult::End;
        line.push_back(static_cast<char>(c));
    }
}

bool isComment(const std::string& line) {
    for (const char c : line) {
        if (!isClassicSpace(c)) return c == kCommentMark;
    }
    return false;
}

// base\sub without trailing backslashes, each "\\" replaced by "\" in one pass from
// the left (so "\\\" becomes "\\").
std::string joinDirectory(const std::string& base, const std::string& subdirectory) {
    std::string directory = base + "\\" + subdirectory;
    const std::size_t end = directory.find_last_not_of('\\');
    directory.resize(end == std::string::npos ? 0 : end + 1);
    boost::algorithm::replace_all(directory, "\\\\", "\\");
    return directory;
}

}  // namespace

std::string fsgamePath(const std::string& rootPath) { return rootPath + "\\" + kFsgameFileName; }

std::vector<std::string> readFsgameDirectories(std::istream& in, const std::string& rootPath) {
    std::vector<std::string> directories;
    std::map<std::string, std::string> aliases{{kFsRootAlias, rootPath}};

    std::string line;
    line.reserve(kFsgameLineBuffer);
    std::vector<std::string> fields;
    while (readLine(in, line) == LineResult::Line) {
        // The line's text ends at its first NUL.
        const std::size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        if (isComment(line)) continue;
        // Every separator splits: n separators give n + 1 fields, empty ones included.
        boost::algorithm::split(fields, line, boost::algorithm::is_any_of(kFieldSeparators),
                                boost::algorithm::token_compress_off);
        for (std::string& field : fields) boost::algorithm::trim_if(field, isClassicSpace);
        if (fields.size() < kMinFields || !isFlag(fields[kFirstFlagField]) || !isFlag(fields[kSecondFlagField])) {
            continue;
        }
        // Only aliases of earlier lines are known; anything else is a path.
        const auto alias = aliases.find(fields[kBaseField]);
        const std::string& base = alias != aliases.end() ? alias->second : fields[kBaseField];
        const std::string subdirectory = fields.size() > kSubdirectoryField ? fields[kSubdirectoryField] : "";
        std::string directory = joinDirectory(base, subdirectory);
        if (directory.size() > kMaxFsgameDirectory) continue;
        aliases[fields[kAliasField]] = directory;
        directories.push_back(std::move(directory));
        if (directories.size() == kMaxFsgameDirectories) break;
    }
    return directories;
}

}  // namespace kestran_db
