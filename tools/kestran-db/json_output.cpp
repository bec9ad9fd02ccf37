#include "json_output.h"

#include <boost/json/serialize.hpp>
#include <iostream>

#include "command.h"

namespace kestran::cli {

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at text[at], or 0 when none starts
// there (the byte ranges of the Unicode Standard's table of well-formed sequences).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const std::size_t left = text.size() - at;
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return left >= 2 && isContinuation(byte(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !isContinuation(byte(1)) || !isContinuation(byte(2))) return 0;
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
        if (lead == 0xED && byte(1) > 0x9F) return 0;  // a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !isContinuation(byte(1)) || !isContinuation(byte(2)) || !isContinuation(byte(3))) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (lead == 0xF4 && byte(1) > 0x8F) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

bool isWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string withReplacementCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            out += kReplacementCharacter;
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E && c != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

void putText(boost::json::object& into, std::string_view key, std::string_view text) {
    if (isWellFormedUtf8(text)) {
        into[key] = text;
        return;
    }
    into[key] = withReplacementCharacters(text);
    into[std::string(key) + "_bytes"] = percentEncoded(text);
}

void printJson(const boost::json::value& document) {
    std::cout << boost::json::serialize(document) << '\n';
    finishStandardOutput();
}

}  // namespace kestran::cli
