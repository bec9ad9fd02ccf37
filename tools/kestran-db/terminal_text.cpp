#include "terminal_text.h"

namespace kestran::cli {

namespace {

std::string escapeControlBytes(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
            continue;
        }
        out += '\\';
        switch (byte) {
            case '\t':
                out += 't';
                break;
            case '\n':
                out += 'n';
                break;
            case '\r':
                out += 'r';
                break;
            case '\a':
                out += 'a';
                break;
            case '\b':
                out += 'b';
                break;
            case '\f':
                out += 'f';
                break;
            case '\v':
                out += 'v';
                break;
            case 0x1B:
                out += 'e';
                break;
            default:
                out += 'x';
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
        }
    }
    return out;
}

}  // namespace

std::string printable(std::string_view name) { return escapeControlBytes(name); }

std::string printablePath(std::string_view path) { return escapeControlBytes(path); }

}  // namespace kestran::cli
