// Names between the archives' bytes and UTF-8: which texts count as UTF-8, which
// settings name a codec, the conversion, and that it turns back exactly.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/name_codec.h"

namespace kestran {
namespace {

NameCodec codec(const char* name) {
    const std::optional<NameCodec> found = NameCodec::named(name);
    if (!found) ADD_FAILURE() << "no codec " << name;
    return found.value_or(NameCodec());
}

const char* const kCodePageNames[] = {"CP874",  "CP1250", "CP1251", "CP1252", "CP1253",
                                      "CP1254", "CP1255", "CP1256", "CP1257", "CP1258"};

TEST(Utf8, WellFormedTextsOnly) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"textures\\wall.dds", true},
        {"\xC3\xA9t\xC3\xA9", true},      // été
        {"\xE2\x82\xAC", true},           // U+20AC
        {"\xEF\xBF\xBF", true},           // U+FFFF
        {"\xF0\x9F\x98\x80", true},       // U+1F600
        {"\xF4\x8F\xBF\xBF", true},       // U+10FFFF
        {"\xE9t\xE9", false},             // été in CP1252
        {"\x80", false},                  // a continuation byte alone
        {"\xC3", false},                  // cut short
        {"\xE2\x82", false},              // cut short
        {"\xC0\xAF", false},              // '/' in two bytes
        {"\xE0\x80\xAF", false},          // '/' in three bytes
        {"\xF0\x80\x80\xAF", false},      // '/' in four bytes
        {"\xED\xA0\x80", false},          // U+D800, a surrogate
        {"\xED\xBF\xBF", false},          // U+DFFF
        {"\xF4\x90\x80\x80", false},      // U+110000
        {"\xF8\x88\x80\x80\x80", false},  // five bytes
        {"\xC3\x28", false},              // a lead byte without continuation
    };
    for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
}

TEST(NameCodecNames, SettingsNameCodePagesOrNone) {
    struct Case {
        const char* setting;
        const char* name;  // nullptr: not a codec
    };
    const Case cases[] = {
        {"CP1251", "CP1251"},
        {"cp1252", "CP1252"},
        {"Windows-1250", "CP1250"},
        {"WINDOWS-1258", "CP1258"},
        {"874", "CP874"},
        {"1257", "CP1257"},
        {"none", "none"},
        {"NONE", "none"},
        {"", nullptr},
        {"cp", nullptr},
        {"CP932", nullptr},
        {"CP437", nullptr},
        {"utf-8", nullptr},
        {"cp-1251", nullptr},
        {"CP12510", nullptr},
        {"CP 1251", nullptr},
        {"windows1251", nullptr},
        {"nonE1", nullptr},
        {"00001251", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        const std::optional<NameCodec> found = NameCodec::named(c.setting);
        ASSERT_EQ(found.has_value(), c.name != nullptr);
        if (found) {
            EXPECT_EQ(found->name(), c.name);
        }
    }
    EXPECT_EQ(NameCodec::byDefault().name(), NameCodec::kDefault);
    EXPECT_FALSE(NameCodec().convertsNames());
    EXPECT_TRUE(NameCodec::byDefault().convertsNames());
}

TEST(NameCodecConversion, NamesThatAreNotUtf8AreConverted) {
    struct Case {
        const char* codec;
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"CP1251", "\xCF\xF0\xE8\xE2\xE5\xF2.dds", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.dds"},  // Привет
        {"CP1251", "\xD0\x9F\xD1\x80\xD0\xB8.dds", "\xD0\x9F\xD1\x80\xD0\xB8.dds"},  // UTF-8 already
        {"CP1252", "caf\xE9", "caf\xC3\xA9"},                                        // café
        {"CP1252", "\x80", "\xE2\x82\xAC"},                                          // the euro sign
        {"CP1250", "\x8A", "\xC5\xA0"},                                              // Š
        {"CP1252", "plain.txt", "plain.txt"},
        // Bytes the code page leaves undefined: a C1 control below 0xA0, private use above.
        {"CP1252", "a\x81", "a\xC2\x81"},
        {"CP1251", "\x98", "\xC2\x98"},
        {"CP1253", "\xAA", "\xEF\x9E\xAA"},  // U+F7AA
        {"CP874", "\xFF", "\xEF\x9F\xBF"},   // U+F7FF
        // "none" leaves every name as its bytes.
        {"none", "caf\xE9", "caf\xE9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + testing::PrintToString(c.name));
        EXPECT_EQ(codec(c.codec).toUtf8(c.name), c.shown);
    }
}

// Every name that is not UTF-8 comes back as its bytes: each high byte alone (never
// UTF-8) and each pair of high bytes that is not UTF-8, between ASCII, in every code page.
TEST(NameCodecConversion, TurnsBackExactly) {
    for (const char* name : kCodePageNames) {
        SCOPED_TRACE(name);
        const NameCodec page = codec(name);
        int checked = 0;
        for (unsigned first = 0x80; first <= 0xFF; ++first) {
            for (unsigned second = 0x7F; second <= 0xFF; ++second) {
                std::string bytes = "x";
                bytes += static_cast<char>(first);
                if (second >= 0x80) bytes += static_cast<char>(second);
                bytes += ".ltx";
                if (isValidUtf8(bytes)) continue;
                const std::string shown = page.toUtf8(bytes);
                ASSERT_TRUE(isValidUtf8(shown)) << testing::PrintToString(bytes);
                ASSERT_EQ(page.fromUtf8(shown), bytes) << testing::PrintToString(bytes);
                ++checked;
            }
        }
        EXPECT_GT(checked, 128 * 128 - 2000);
    }
}

TEST(NameCodecConversion, TextWithoutBytesGivesNothing) {
    struct Case {
        const char* codec;
        const char* text;
    };
    const Case cases[] = {
        {"CP1252", "\xE6\x97\xA5\xE6\x9C\xAC"},  // 日本: no byte in CP1252
        {"CP1252", "\xD0\x9F"},                  // П: not in CP1252
        {"CP1251", "\xC3\xA9"},                  // é: not in CP1251
        {"CP1251", "\xF0\x9F\x98\x80"},          // beyond U+FFFF
        {"CP1251", "\xCF\xF0"},                  // not UTF-8
        {"none", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(codec(c.codec).fromUtf8(c.text), std::nullopt);
    }
    EXPECT_EQ(codec("CP1251").fromUtf8("plain\\name.txt"), "plain\\name.txt");
}

}  // namespace
}  // namespace kestran
