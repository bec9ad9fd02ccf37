#pragma once
// Lower-casing by the classic "C" rules, as names and archive paths are compared:
// only 'A' to 'Z' change; every other byte, those from 0x80 up included, stays.
#include <string>

namespace kestran {

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline void lowerCaseAscii(std::string& text) {
    for (char& c : text) c = asciiLower(c);
}

inline void lowerCaseAscii(char* text) {
    for (; *text != '\0'; ++text) *text = asciiLower(*text);
}

inline std::string loweredAscii(std::string text) {
    lowerCaseAscii(text);
    return text;
}

}  // namespace kestran
