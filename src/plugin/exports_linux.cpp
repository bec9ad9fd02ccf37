#include "plugin/exports_linux.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "plugin/content_fields.h"
#include "plugin/find_data.h"
#include "plugin/host_glue.h"
#include "plugin/plugin_state.h"

namespace host = kestran::plugin::host;

namespace {

// A number into the host's buffer, which need not be aligned for it.
template <typename Number>
int putNumber(void* buffer, int maxlen, std::int64_t value, int type) {
    if (maxlen < static_cast<int>(sizeof(Number))) return ft_fileerror;
    const Number number = static_cast<Number>(value);
    std::memcpy(buffer, &number, sizeof number);
    return type;
}

bool fits(const std::string& text, int maxlen) { return maxlen > 0 && text.size() < static_cast<std::size_t>(maxlen); }

}  // namespace

int FsGetBackgroundFlags(void) { return BG_DOWNLOAD; }

int FsContentGetSupportedField(int FieldIndex, char* FieldName, char* Units, int maxlen) {
    if (FieldIndex < 0 || FieldIndex >= kestran::plugin::kContentFieldCount) return ft_nomorefields;
    if (FieldName == nullptr || Units == nullptr || maxlen < 1) return ft_nomorefields;
    const kestran::plugin::ContentField& field = kestran::plugin::kContentFields[FieldIndex];
    kestran::plugin::copyBounded(FieldName, field.name, static_cast<std::size_t>(maxlen));
    kestran::plugin::copyBounded(Units, field.units, static_cast<std::size_t>(maxlen));
    return field.type;
}

int FsContentGetValue(char* FileName, int FieldIndex, int, void* FieldValue, int maxlen, int) {
    try {
        if (FileName == nullptr || FieldValue == nullptr || maxlen < 1) return ft_fileerror;
        auto& state = kestran::plugin::pluginState();
        const kestran::plugin::ContentValue value =
            kestran::plugin::contentValue(host::pathFromHost(FileName), FieldIndex, state.sets(), state.names());
        switch (value.type) {
            case ft_string:
            case ft_multiplechoice:
                kestran::plugin::copyBounded(static_cast<char*>(FieldValue), value.text,
                                             static_cast<std::size_t>(maxlen));
                return value.type;
            case ft_numeric_32:
                return putNumber<std::int32_t>(FieldValue, maxlen, value.number, value.type);
            case ft_numeric_64:
                return putNumber<std::int64_t>(FieldValue, maxlen, value.number, value.type);
            default:
                return value.type;
        }
    } catch (...) {
        return ft_fileerror;
    }
}

BOOL FsContentGetDefaultView(char* ViewContents, char* ViewHeaders, char* ViewWidths, char* ViewOptions, int maxlen) {
    try {
        if (ViewContents == nullptr || ViewHeaders == nullptr || ViewWidths == nullptr || ViewOptions == nullptr)
            return FALSE;
        const kestran::plugin::ContentView view = kestran::plugin::defaultContentView();
        if (!fits(view.contents, maxlen) || !fits(view.headers, maxlen) || !fits(view.widths, maxlen) ||
            !fits(view.options, maxlen))
            return FALSE;
        const auto size = static_cast<std::size_t>(maxlen);
        kestran::plugin::copyBounded(ViewContents, view.contents, size);
        kestran::plugin::copyBounded(ViewHeaders, view.headers, size);
        kestran::plugin::copyBounded(ViewWidths, view.widths, size);
        kestran::plugin::copyBounded(ViewOptions, view.options, size);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}
