// --json: one document per call, names as the archive holds them, and the bytes of a
// name that is no UTF-8 kept in a form that gives them back.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/json.hpp>
#include <string>
#include <vector>

#include "installation_options.h"
#include "json_output.h"
#include "tool_fixture.h"

namespace kestran::testing {
namespace {

namespace json = boost::json;
using kestran::cli::isoTime;

// The document a run printed; a test failure (and null) when it is none, or more.
json::value documentOf(const ToolRun& result) {
    boost::system::error_code error;
    json::value document = json::parse(result.out, error);
    EXPECT_FALSE(error) << error.message() << " in:\n" << result.out;
    EXPECT_EQ(result.status, 0) << result.err;
    return document;
}

std::string textAt(const json::value& value, const char* key) {
    return std::string(value.as_object().at(key).as_string());
}

// Percent-decoding, as a reader of the _bytes keys does it.
std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

TEST(JsonText, WellFormedUtf8IsToldFromEveryOtherByteSequence) {
    const struct {
        std::string text;
        bool wellFormed;
        std::string replaced;
    } cases[] = {
        {"", true, ""},
        {"plain.txt", true, "plain.txt"},
        {"caf\xC3\xA9", true, "caf\xC3\xA9"},
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", true, "\xE2\x82\xAC \xF0\x9F\x98\x80"},         // U+20AC, U+1F600
        {"caf\xE9.txt", false, "caf\xEF\xBF\xBD.txt"},                                    // Latin-1
        {"\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong '/'
        {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a surrogate
        {"\xF4\x90\x80\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
        {"end\xC3", false, "end\xEF\xBF\xBD"},                                            // cut short
        {"\x80x", false, "\xEF\xBF\xBDx"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli::isWellFormedUtf8(c.text), c.wellFormed) << c.text;
        EXPECT_EQ(cli::withReplacementCharacters(c.text), c.replaced) << c.text;
        EXPECT_EQ(percentDecoded(cli::percentEncoded(c.text)), c.text);
    }
    EXPECT_EQ(cli::percentEncoded("caf\xE9 100%\t.txt"), "caf%E9 100%25%09.txt");
}

TEST_F(KestranDbTool, JsonOutputIsOneDocumentPerCommand) {
    const std::string timeA = isoTime(fromUnixTime(kTimeA));
    const std::string timeB = isoTime(fromUnixTime(kTimeB));

    json::value ls = documentOf(onGame({"ls", "--json", "textures"}));
    EXPECT_EQ(textAt(ls, "path"), "textures");
    ASSERT_EQ(ls.at("entries").as_array().size(), 1u);
    const json::value& wall = ls.at("entries").as_array()[0];
    EXPECT_EQ(textAt(wall, "name"), "wall.dds");
    EXPECT_EQ(textAt(wall, "type"), "file");
    EXPECT_EQ(wall.at("size").to_number<std::uint64_t>(), 4000u);
    EXPECT_EQ(textAt(wall, "time"), timeB);
    EXPECT_EQ(textAt(wall, "archive"), (fs::path("data") / "b.db1").string());
    EXPECT_EQ(wall.at("copies").to_number<std::uint64_t>(), 2u);
    json::value all = documentOf(onGame({"ls", "-R", "--json"}));
    EXPECT_EQ(all.at("entries").as_array().size(), 8u);
    EXPECT_EQ(textAt(all.at("entries").as_array()[2], "name"), "config/system.ltx");
    EXPECT_EQ(textAt(all.at("entries").as_array()[1], "type"), "directory");

    json::value which = documentOf(onGame({"which", "--json", "textures/wall.dds"}));
    EXPECT_EQ(which.at("size").to_number<std::uint64_t>(), 4000u);
    const json::array& holders = which.at("holders").as_array();
    ASSERT_EQ(holders.size(), 2u);
    EXPECT_EQ(textAt(holders[0], "archive"), archivePath("b.db1"));
    EXPECT_EQ(holders[0].at("compressed").as_bool(), false);
    EXPECT_EQ(textAt(holders[1], "archive"), archivePath("a.db0"));
    EXPECT_EQ(holders[1].at("size").to_number<std::uint64_t>(), 3000u);
    EXPECT_EQ(holders[1].at("stored").to_number<std::uint64_t>(), compressLzo(wallA).size());
    EXPECT_EQ(holders[1].at("compressed").as_bool(), true);
    EXPECT_EQ(textAt(holders[1], "time"), timeA);

    json::value archives = documentOf(onGame({"archives", "--json"}));
    const json::array& list = archives.at("archives").as_array();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(textAt(list[0], "path"), archivePath("a.db0"));
    EXPECT_EQ(list[0].at("records").to_number<std::uint64_t>(), 3u);
    EXPECT_EQ(list[0].at("wins").to_number<std::uint64_t>(), 2u);
    EXPECT_EQ(list[0].at("loses").to_number<std::uint64_t>(), 1u);
    EXPECT_EQ(list[1].at("unpacked").to_number<std::uint64_t>(), 6500u);
    EXPECT_EQ(textAt(list[1], "time"), timeB);

    json::value conflicts = documentOf(onGame({"conflicts", "--json", "--archive", "a.db0"}));
    EXPECT_EQ(textAt(conflicts, "archive"), (fs::path("data") / "a.db0").string());
    ASSERT_EQ(conflicts.at("conflicts").as_array().size(), 1u);
    const json::value& conflict = conflicts.at("conflicts").as_array()[0];
    EXPECT_EQ(textAt(conflict, "path"), "textures/wall.dds");
    EXPECT_EQ(conflict.at("holders").as_array().size(), 2u);
    EXPECT_TRUE(documentOf(onGame({"conflicts", "--json", "config"})).at("archive").is_null());

    ArchiveBuilder builder(2);
    builder.directory("Maps").storedFile("Maps\\Start.TXT", bytesOf("go")).compressedFile("big.dat", level);
    builder.write((scratch / "t.db0").string());
    json::value records = documentOf(invoke({"records", "--json", (scratch / "t.db0").string()}));
    EXPECT_EQ(textAt(records, "archive"), (scratch / "t.db0").string());
    const json::array& table = records.at("records").as_array();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(textAt(table[0], "name"), "maps");
    EXPECT_EQ(textAt(table[0], "kind"), "directory");
    EXPECT_EQ(textAt(table[1], "name"), "maps\\start.txt");
    EXPECT_EQ(textAt(table[1], "kind"), "stored");
    EXPECT_EQ(table[1].at("crc").to_number<std::uint64_t>(), contentsCrc(bytesOf("go")));
    EXPECT_EQ(textAt(table[2], "kind"), "compressed");
    EXPECT_EQ(table[2].at("size").to_number<std::uint64_t>(), 2500u);
}

// Names are bytes as the archive holds them: no C escapes in JSON, and a name that is
// not UTF-8 comes with its bytes percent-encoded beside it.
TEST_F(KestranDbTool, JsonNamesAreTheArchivesBytes) {
    ArchiveBuilder builder(0);
    builder.storedFile("caf\xC3\xA9.txt", bytesOf("utf-8"))
        .storedFile("caf\xE9.txt", bytesOf("latin-1"))
        .storedFile("tab\there\x1b.txt", bytesOf("control"));
    const fs::path odd = installationOf("odd", builder);
    json::value ls = documentOf(tool({"ls", "--json"}, {"--root", odd.string()}));
    const json::array& entries = ls.at("entries").as_array();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(textAt(entries[0], "name"), "caf\xC3\xA9.txt");
    EXPECT_FALSE(entries[0].as_object().contains("name_bytes"));
    EXPECT_EQ(textAt(entries[1], "name"), "caf\xEF\xBF\xBD.txt");
    EXPECT_EQ(textAt(entries[1], "name_bytes"), "caf%E9.txt");
    EXPECT_EQ(percentDecoded(textAt(entries[1], "name_bytes")), "caf\xE9.txt");
    EXPECT_EQ(textAt(entries[2], "name"), "tab\there\x1b.txt");

    json::value conflicts = documentOf(tool({"conflicts", "--json", "caf\xE9.txt"}, {"--root", odd.string()}));
    EXPECT_EQ(textAt(conflicts, "path_bytes"), "caf%E9.txt");
}

}  // namespace
}  // namespace kestran::testing
