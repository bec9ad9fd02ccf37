#include "local_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal_text.h"

namespace kestran::cli {
namespace {

TEST(LocalNames, PortableRulesKeepEveryNameOneComponent) {
    const std::string refusedNames[] = {"", ".", "..", "a/b", "a\\b", std::string("a\0b", 3), "c:x", "Z:"};
    for (const std::string& refused : refusedNames) EXPECT_TRUE(portableNameRefusal(refused)) << refused;
    for (const char* taken : {"a.txt", "...", ".hidden", "con", "ab:c", "trailing.", "1:x", "\xe9t\xe9.dds"}) {
        EXPECT_FALSE(portableNameRefusal(taken)) << taken;
    }
}

TEST(LocalNames, WindowsRulesRefuseDevicesStreamsAndWhatTheSystemWouldChange) {
    for (const char* refused :
         {"con",   "CON",       "Nul.txt", "nul.tar.gz", "aux",         "prn.x",    "com1", "COM9.log",
          "lpt0",  "lpt3.txt",  "com\xb9", "conin$",     "CONOUT$.txt", "con .txt", "a:b",  "file.txt:stream",
          "name.", "name ",     "dots...", "a<b",        "a>b",         "a\"b",     "a|b",  "a?b",
          "a*b",   "tab\there", "esc\x1b"}) {
        EXPECT_TRUE(windowsNameRefusal(refused)) << refused;
    }
    for (const char* taken : {"console", "nullable.txt", "com10", "lpt", "com", "auxiliary", "a.con", ".con",
                              "name.txt", "\xe9t\xe9.dds", "x y.txt"}) {
        EXPECT_FALSE(windowsNameRefusal(taken)) << taken;
    }
}

TEST(TerminalText, ControlBytesBecomeEscapes) {
    EXPECT_EQ(printable("plain name.dds"), "plain name.dds");
    EXPECT_EQ(printable("\x1b]0;owned\x07"), "\\e]0;owned\\a");
    EXPECT_EQ(printable("a\tb\nc\rd\x01\x7f"), "a\\tb\\nc\\rd\\x01\\x7f");
    useNameCodec(NameCodec());
    EXPECT_EQ(printable("\xc3\xa9t\xe9"), "\xc3\xa9t\xe9");  // as their bytes, bytes from 0x80 up stay
    useNameCodec(defaultNameCodec());
}

// Where texts are UTF-8, a name that is not is shown converted, each name of a path on
// its own: one that is UTF-8 already stays as it is.
TEST(TerminalText, NamesThatAreNotUtf8AreShownConverted) {
    useNameCodec(*NameCodec::named("CP1251"));
    EXPECT_EQ(printable("maps/\xEC\xE8\xF0.ltx"), "maps/\xD0\xBC\xD0\xB8\xD1\x80.ltx");  // мир
    EXPECT_EQ(printable("\xD0\xBC\xD0\xB8\xD1\x80\\\xEC\xE8\xF0\x1b"),
              "\xD0\xBC\xD0\xB8\xD1\x80\\\xD0\xBC\xD0\xB8\xD1\x80\\e");
    EXPECT_EQ(localName("\xEC\xE8\xF0.ltx"), "\xD0\xBC\xD0\xB8\xD1\x80.ltx");
    useNameCodec(defaultNameCodec());
}

}  // namespace
}  // namespace kestran::cli
