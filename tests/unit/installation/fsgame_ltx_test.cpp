#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "installation/fsgame_ltx.h"

namespace kestran_db {
namespace {

using Directories = std::vector<std::string>;

const std::string kRoot = "C:\\Game";

Directories read(const std::string& text, const std::string& root = kRoot) {
    std::istringstream in(text);
    return readFsgameDirectories(in, root);
}

struct LtxCase {
    const char* name;
    std::string text;
    Directories expected;
};

void PrintTo(const LtxCase& c, std::ostream* out) { *out << c.name; }

class FsgameLines : public testing::TestWithParam<LtxCase> {};

TEST_P(FsgameLines, NameTheArchiveDirectories) { EXPECT_EQ(read(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Lines, FsgameLines,
    testing::Values(LtxCase{"AliasChain",
                            "$base$=false|false|$fs_root$\n$packs$=true|false|$base$|data\\\n",
                            {"C:\\Game", "C:\\Game\\data"}},
                    LtxCase{"FourFieldsMeanNoSubdirectory", "$top$=true|false|$fs_root$", {"C:\\Game"}},
                    LtxCase{"ThreeFieldsAreIgnored", "$flags$=true|false\n", {}},
                    LtxCase{"BlanksAroundFieldsDoNotMatter",
                            "$packs$ = true | false | $fs_root$ | data\\ \t\n",
                            {"C:\\Game\\data"}},
                    LtxCase{"FlagsAreExactWords",
                            "$a$=True|false|$fs_root$|a\n$b$=true|yes|$fs_root$|b\n$c$=false|true|$fs_root$|c\n",
                            {"C:\\Game\\c"}},
                    LtxCase{"Comments",
                            "; $a$=true|true|$fs_root$|a\n \t ;$b$=true|true|$fs_root$|b\nx;=true|true|$fs_root$|c\n",
                            {"C:\\Game\\c"}},
                    LtxCase{"LaterAliasesAreNotSeen",
                            "$a$=true|true|$b$|x\n$b$=true|true|$fs_root$|y\n$c$=true|true|$b$|z\n",
                            {"$b$\\x", "C:\\Game\\y", "C:\\Game\\y\\z"}},
                    LtxCase{"LiteralBase", "$mods$=true|true|E:\\mods|x\n", {"E:\\mods\\x"}},
                    LtxCase{"SameDirectoryTwice",
                            "$a$=true|true|$fs_root$|d\n$b$=true|true|$fs_root$|d\n",
                            {"C:\\Game\\d", "C:\\Game\\d"}},
                    LtxCase{"RootAliasCanBeReplaced",
                            "$fs_root$=true|true|D:\\other\n$x$=true|true|$fs_root$|y\n",
                            {"D:\\other", "D:\\other\\y"}},
                    LtxCase{"SeparatorsAreNotMerged", "$a$==true|true|$fs_root$\n$b$=true||true|$fs_root$\n", {}},
                    LtxCase{"EitherSeparatorAnywhere", "$a$|true=false|$fs_root$=sub|extra|more\n", {"C:\\Game\\sub"}},
                    LtxCase{"TrailingBackslashesGo", "$a$=true|true|$fs_root$|data\\\\\\\n", {"C:\\Game\\data"}},
                    LtxCase{"EmptyBaseAndSubdirectory", "$a$=true|true|\n", {""}},
                    LtxCase{"CrLfLines",
                            "$a$=true|true|$fs_root$|x\r\n$b$=true|true|$fs_root$|y\r\n",
                            {"C:\\Game\\x", "C:\\Game\\y"}},
                    LtxCase{"LoneCrIsNoLineEnd", "$a$=true|true|$fs_root$|x\ry\n", {"C:\\Game\\x\ry"}},
                    LtxCase{"NulEndsTheLine",
                            "$a$=true|true|$fs_root$|x" + std::string(1, '\0') + "|junk\n$b$=true" +
                                std::string(1, '\0') + "|true|$fs_root$\n$c$=true|true|$a$|z",
                            {"C:\\Game\\x", "C:\\Game\\x\\z"}}),
    [](const testing::TestParamInfo<LtxCase>& param) { return std::string(param.param.name); });

TEST(FsgameLtx, DoubledBackslashesCollapseInOnePass) {
    // "C:\Game\" + "\" + "data" has one doubled pair; "C:\Game\\" gives a run of three.
    EXPECT_EQ(read("$a$=true|true|$fs_root$|data\n", "C:\\Game\\"), Directories{"C:\\Game\\data"});
    EXPECT_EQ(read("$a$=true|true|$fs_root$|data\n", "C:\\Game\\\\"), Directories{"C:\\Game\\\\data"});
    EXPECT_EQ(read("$a$=true|true|$fs_root$|a\\\\\\\\b\n"), Directories{"C:\\Game\\a\\\\b"});
}

TEST(FsgameLtx, PathOfTheFileKeepsTheRootAsGiven) {
    EXPECT_EQ(fsgamePath("C:\\Game"), "C:\\Game\\fsgame.ltx");
    EXPECT_EQ(fsgamePath("C:\\Game\\"), "C:\\Game\\\\fsgame.ltx");
}

// An accepted line padded with blanks (trimmed away) to exactly `length` characters.
std::string paddedLine(const std::string& alias, std::size_t length) {
    std::string line = alias + "=true|true|$fs_root$|" + alias;
    line.resize(length, ' ');
    return line;
}

TEST(FsgameLtx, LinesOfTheBufferSizeOrMoreEndTheReading) {
    const std::string first = "a=true|true|$fs_root$|a\n";
    const std::vector<std::pair<std::string, Directories>> cases = {
        {first + paddedLine("b", 1023) + "\nc=true|true|$fs_root$|c\n", {"C:\\Game\\a", "C:\\Game\\b", "C:\\Game\\c"}},
        {first + paddedLine("b", 1023) + "\r\nc=true|true|$fs_root$|c\n",
         {"C:\\Game\\a", "C:\\Game\\b", "C:\\Game\\c"}},
        {first + paddedLine("b", 1023), {"C:\\Game\\a", "C:\\Game\\b"}},
        {first + paddedLine("b", 1023) + "\r", {"C:\\Game\\a"}},
        {first + paddedLine("b", 1024) + "\nc=true|true|$fs_root$|c\n", {"C:\\Game\\a"}},
        {first + paddedLine("b", 5000) + "\nc=true|true|$fs_root$|c\n", {"C:\\Game\\a"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(read(cases[i].first), cases[i].second) << "case " << i;
}

// Serves one line and then endless text without a line end.
class EndlessLine : public std::streambuf {
public:
    std::size_t served = 0;

protected:
    int_type underflow() override {
        static const std::string head = "a=true|true|$fs_root$|a\n";
        buffer_ = served < head.size() ? head[served] : 'x';
        ++served;
        setg(&buffer_, &buffer_, &buffer_ + 1);
        return traits_type::to_int_type(buffer_);
    }

private:
    char buffer_ = 0;
};

TEST(FsgameLtx, NeverReadsMoreThanOneLineBuffer) {
    EndlessLine source;
    std::istream in(&source);
    EXPECT_EQ(readFsgameDirectories(in, kRoot), Directories{"C:\\Game\\a"});
    EXPECT_LE(source.served, 24 + kFsgameLineBuffer + 1);
}

// Serves its text and then fails.
class FailingSource : public std::streambuf {
public:
    explicit FailingSource(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

private:
    std::string text_;
};

TEST(FsgameLtx, ReadErrorEndsTheReadingAndDropsThePartLine) {
    FailingSource source("a=true|true|$fs_root$|a\nb=true|true|$fs_root$|b");
    std::istream in(&source);
    EXPECT_EQ(readFsgameDirectories(in, kRoot), Directories{"C:\\Game\\a"});
}

TEST(FsgameLtx, OverlongDirectoriesAreIgnored) {
    // Each line adds 991 characters to the alias; the fifth would pass 4096.
    const std::string chunk(990, 'x');
    std::string text = "$a$=true|true|$fs_root$|" + chunk + "\n";
    for (int i = 0; i < 4; ++i) text += "$a$=true|true|$a$|" + chunk + "\n";
    text += "$b$=true|true|$a$|z\n";

    const Directories directories = read(text);
    ASSERT_EQ(directories.size(), 5u);
    EXPECT_EQ(directories[3].size(), kRoot.size() + 4 * 991);
    EXPECT_EQ(directories[4], directories[3] + "\\z");
}

// A long alias reused line after line would otherwise name gigabytes of directories.
TEST(FsgameLtx, ReadingEndsAtTheDirectoryLimit) {
    std::string text = "$long$=true|false|$fs_root$|" + std::string(900, 'x') + "\n";
    for (std::size_t i = 1; i < kMaxFsgameDirectories + 10; ++i)
        text += "$" + std::to_string(i) + "$=true|false|$long$|" + std::to_string(i) + "\n";

    const Directories directories = read(text);
    ASSERT_EQ(directories.size(), kMaxFsgameDirectories);
    EXPECT_EQ(directories.back(), directories.front() + "\\" + std::to_string(kMaxFsgameDirectories - 1));
}

TEST(FsgameLtx, EmptyOrCommentOnlyFileNamesNothing) {
    EXPECT_TRUE(read("").empty());
    EXPECT_TRUE(read("\n\n; only a comment\n[section]\nkey = value\n").empty());
}

}  // namespace
}  // namespace kestran_db
