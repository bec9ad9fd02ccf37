#include "common/name_codec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/code_pages.h"

namespace kestran {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr unsigned kFirstHighByte = 0x80;

// One UTF-8 sequence at text[at]: its code point and length, or nothing when it is not
// well-formed.
//
//   bytes  first byte  code points        continuation bytes 10xxxxxx
//       1  0xxxxxxx    U+0000..U+007F
//       2  110xxxxx    U+0080..U+07FF
//       3  1110xxxx    U+0800..U+FFFF     (not U+D800..U+DFFF)
//       4  11110xxx    U+10000..U+10FFFF
struct Sequence {
    char32_t codePoint;
    std::size_t length;
};

std::optional<Sequence> readSequence(std::string_view text, std::size_t at) {
    const auto first = static_cast<unsigned char>(text[at]);
    if (first < 0x80) return Sequence{first, 1};
    std::size_t length;
    char32_t codePoint;
    char32_t smallest;
    if ((first & 0xE0) == 0xC0) {
        length = 2;
        codePoint = first & 0x1F;
        smallest = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        codePoint = first & 0x0F;
        smallest = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        codePoint = first & 0x07;
        smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < smallest || codePoint > kLastCodePoint) return std::nullopt;
    if (codePoint >= kFirstSurrogate && codePoint <= kLastSurrogate) return std::nullopt;
    return Sequence{codePoint, length};
}

// Code pages' characters are all below U+10000: two or three bytes.
void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
}

// Each code page's characters with their bytes, ordered by character: the way back.
using ReverseTable = std::array<std::pair<char16_t, unsigned char>, 128>;

const ReverseTable& reverseTable(const CodePage* page) {
    static const std::vector<ReverseTable> tables = [] {
        std::vector<ReverseTable> all(kCodePageCount);
        for (std::size_t p = 0; p < kCodePageCount; ++p) {
            for (unsigned i = 0; i < 128; ++i)
                all[p][i] = {kCodePages[p].high[i], static_cast<unsigned char>(kFirstHighByte + i)};
            std::sort(all[p].begin(), all[p].end());
        }
        return all;
    }();
    return tables[static_cast<std::size_t>(page - kCodePages)];
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text starts with prefix, without regard to ASCII case; the rest in `rest`.
bool startsWith(std::string_view text, std::string_view prefix, std::string_view& rest) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != prefix[i]) return false;
    rest = text.substr(prefix.size());
    return true;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::optional<Sequence> sequence = readSequence(text, at);
        if (!sequence) return false;
        at += sequence->length;
    }
    return true;
}

std::optional<NameCodec> NameCodec::named(std::string_view encoding) {
    std::string_view number;
    if (startsWith(encoding, kNone, number) && number.empty()) return NameCodec();
    if (!startsWith(encoding, "windows-", number) && !startsWith(encoding, "cp", number)) number = encoding;
    if (number.empty() || number.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (const char digit : number) {
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(digit - '0');
    }
    for (std::size_t p = 0; p < kCodePageCount; ++p)
        if (kCodePages[p].number == value) return NameCodec(&kCodePages[p]);
    return std::nullopt;
}

NameCodec NameCodec::byDefault() { return *named(kDefault); }

std::string NameCodec::name() const { return page_ == nullptr ? kNone : "CP" + std::to_string(page_->number); }

std::string NameCodec::toUtf8(std::string_view name) const {
    if (page_ == nullptr || isValidUtf8(name)) return std::string(name);
    std::string out;
    out.reserve(name.size() * 2);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstHighByte)
            out += c;
        else
            appendUtf8(out, page_->high[byte - kFirstHighByte]);
    }
    return out;
}

std::optional<std::string> NameCodec::fromUtf8(std::string_view text) const {
    if (page_ == nullptr) return std::nullopt;
    const ReverseTable& reverse = reverseTable(page_);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::optional<Sequence> sequence = readSequence(text, at);
        if (!sequence) return std::nullopt;
        at += sequence->length;
        if (sequence->codePoint < kFirstHighByte) {
            out += static_cast<char>(sequence->codePoint);
            continue;
        }
        if (sequence->codePoint > 0xFFFF) return std::nullopt;
        const auto character = static_cast<char16_t>(sequence->codePoint);
        const auto found = std::lower_bound(
            reverse.begin(), reverse.end(), character,
            [](const std::pair<char16_t, unsigned char>& entry, char16_t c) { return entry.first < c; });
        if (found == reverse.end() || found->first != character) return std::nullopt;
        out += static_cast<char>(found->second);
    }
    return out;
}

}  // namespace kestran
