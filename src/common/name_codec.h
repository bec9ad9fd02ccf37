#pragma once
// Names from the archives where texts are UTF-8 (Linux hosts and terminals). The
// archives' names are bytes written on Windows, in whatever ANSI code page the machine
// that made them had. A name that is valid UTF-8 is shown as it is; any other is shown
// converted from one configured code page, and the conversion can be turned back into
// the name's bytes exactly (bytes the code page leaves undefined included), so that a
// shown name always leads back to its entry.
//
//   NameCodec codec = NameCodec::named("CP1251").value_or(NameCodec::byDefault());
//   codec.toUtf8("\xCF\xF0\xE8\xE2\xE5\xF2")   -> "Привет"   (not UTF-8: converted)
//   codec.toUtf8("Привет")                     -> "Привет"   (UTF-8 already: as it is)
//   codec.fromUtf8("Привет")                   -> "\xCF\xF0\xE8\xE2\xE5\xF2"
//
// A NameCodec is a small value: copy it freely; it is safe to use from several threads.
#include <optional>
#include <string>
#include <string_view>

namespace kestran {

struct CodePage;

// Whether text is well-formed UTF-8: shortest forms only, no surrogates, nothing past
// U+10FFFF.
bool isValidUtf8(std::string_view text);

class NameCodec {
public:
    // The setting's value that keeps names as their bytes.
    static constexpr const char* kNone = "none";
    // The code page names are converted from unless the settings name another: the
    // game's first release is the Russian one (build 3312 is 3312ru), so its archives
    // and the tools made for them come from Cyrillic Windows.
    static constexpr const char* kDefault = "CP1251";

    // Names kept as their bytes ("none").
    NameCodec() = default;

    // The codec a setting names, compared without regard to case: "none", or a Windows
    // single-byte code page as "CP1252", "windows-1252" or "1252" (874 and 1250 to 1258).
    // Nothing for a name it does not know.
    static std::optional<NameCodec> named(std::string_view encoding);
    static NameCodec byDefault();

    // "none", or the code page as "CP1252".
    std::string name() const;
    // False for "none": then both directions give the bytes as they are.
    bool convertsNames() const { return page_ != nullptr; }

    // The text to show for a name: the name itself when it is valid UTF-8 (and for
    // "none"); otherwise every byte from 0x80 up becomes its character in the code page.
    // The result is valid UTF-8 unless the codec is "none".
    std::string toUtf8(std::string_view name) const;

    // The bytes whose conversion from the code page gives text, character by character
    // (ASCII as it is): fromUtf8(toUtf8(name)) == name for every name that is not valid
    // UTF-8. Nothing when text is not valid UTF-8 or holds a character the code page has
    // no byte for, and nothing for "none".
    std::optional<std::string> fromUtf8(std::string_view text) const;

private:
    explicit NameCodec(const CodePage* page) : page_(page) {}

    const CodePage* page_ = nullptr;
};

}  // namespace kestran
