#include "terminal_text.h"

#include "platform/platform.h"

namespace kestran::cli {

namespace {

NameCodec& currentCodec() {
    static NameCodec codec = defaultNameCodec();
    return codec;
}

// Each name of a path converted on its own, so that one name that is UTF-8 already is
// left alone beside another that is not.
std::string converted(std::string_view path) {
    const NameCodec& codec = currentCodec();
    if (!codec.convertsNames() || isValidUtf8(path)) return std::string(path);
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t cut = path.find_first_of("/\\", start);
        out += codec.toUtf8(path.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start));
        if (cut == std::string_view::npos) return out;
        out += path[cut];
        start = cut + 1;
    }
}

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

void useNameCodec(const NameCodec& codec) { currentCodec() = codec; }

const NameCodec& nameCodec() { return currentCodec(); }

NameCodec defaultNameCodec() { return platform::textsAreUtf8() ? NameCodec::byDefault() : NameCodec(); }

std::string localName(std::string_view name) { return currentCodec().toUtf8(name); }

std::string printable(std::string_view name) { return escapeControlBytes(converted(name)); }

std::string printablePath(std::string_view path) { return escapeControlBytes(path); }

}  // namespace kestran::cli
