// The settings sample shipped with the plug-in: as shipped it changes nothing, and
// every example line in it, once uncommented, is one the plug-in takes, with the
// Windows line ends the package gives it too.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace kestran::hosttest {
namespace {

std::string sample() { return readFile(localPath(KESTRAN_SETTINGS_SAMPLE)); }

// Lines written "#name = value" (a comment mark right before a setting) without it.
std::string uncommented(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 1 && line[0] == '#' && line[1] != ' ' && line.find('=') != std::string::npos)
            line.erase(0, 1);
        out += line + "\n";
    }
    return out;
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(SettingsSample, ExamplesAreTakenOnceUncommented) {
    TempFolder temp;
    const std::string text = sample();
    ASSERT_NE(text.find("[installations]"), std::string::npos);
    int loads = 0;
    for (const std::string& lineEnds : {std::string("LF"), std::string("CRLF")}) {
        SCOPED_TRACE(lineEnds);
        auto settings = [&](const std::string& t) { return lineEnds == "CRLF" ? withCrLf(t) : t; };
        // As shipped: nothing but comments and sections (the registry is left out).
        PluginHost shipped(temp.path() / std::to_string(loads++), settings(text + "[main]\nuse_registry = false\n"));
        EXPECT_TRUE(shipped.list("/").empty());
        PluginHost examples(temp.path() / std::to_string(loads++), settings(uncommented(text)));
        EXPECT_EQ(PluginHost::names(examples.list("/")),
                  (std::vector<std::string>{"ARNA", "ARNA-mod", "TOLM", "VESK"}));
    }
}

}  // namespace
}  // namespace kestran::hosttest
