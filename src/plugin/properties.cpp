#include "plugin/properties.h"

#include <sstream>

namespace kestran::plugin {

namespace {

// A Pascal string literal as form texts write one: quotes doubled, control characters
// as #NN, everything else (UTF-8 included) as it is.
std::string formString(const std::string& text) {
    std::string out = "'";
    bool quoted = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            if (quoted) out += '\'';
            out += '#' + std::to_string(byte);
            quoted = false;
            continue;
        }
        if (!quoted) out += '\'';
        quoted = true;
        if (c == '\'') out += '\'';
        out += c;
    }
    if (quoted) out += '\'';
    return out;
}

std::string sizeText(const PropertiesView& view) { return view.size ? std::to_string(*view.size) : std::string(); }

struct Box {
    int left, top, width, height;
};

void place(std::ostringstream& out, const Box& box) {
    out << "    Left = " << box.left << "\n    Height = " << box.height << "\n    Top = " << box.top
        << "\n    Width = " << box.width << "\n";
}

void label(std::ostringstream& out, const char* name, const Box& box, const std::string& caption) {
    out << "  object " << name << ": TLabel\n";
    place(out, box);
    out << "    AutoSize = False\n    Caption = " << formString(caption) << "\n  end\n";
}

}  // namespace

PropertiesView propertiesOf(const kestran_db::KestranDB& set, const std::string& path) {
    PropertiesView view;
    view.path = path;
    const kestran_db::FileNode* node = set.findNode(path);
    if (node == nullptr || node->winner() == nullptr) return view;
    view.size = node->winner()->sizeReal;
    const auto locations = node->locations();
    for (auto location = locations.rbegin(); location != locations.rend(); ++location)
        view.archives.push_back(location->archive != nullptr ? location->archive->path : "");
    return view;
}

std::string propertiesFormText(const PropertiesView& view) {
    // The Win32 dialog's layout at two pixels per dialog unit, controls in its order.
    std::ostringstream out;
    out << "object DialogBox: TDialogBox\n"
           "  Left = 0\n  Height = 344\n  Top = 0\n  Width = 566\n"
           "  BorderStyle = bsDialog\n"
        << "  Caption = " << formString(kPropertiesCaption) << "\n"
        << "  ClientHeight = 344\n  ClientWidth = 566\n  Position = poScreenCenter\n";
    out << "  object btnClose: TButton\n";
    place(out, Box{452, 302, 100, 28});
    out << "    Cancel = True\n    Caption = " << formString(kCloseButton)
        << "\n    ModalResult = 2\n    TabOrder = 0\n  end\n";
    label(out, "lblFileName", Box{14, 14, 90, 16}, kFileNameLabel);
    label(out, "lblFileSize", Box{14, 40, 130, 16}, kFileSizeLabel);
    label(out, "lblArchives", Box{14, 68, 400, 30}, kArchivesLabel);
    out << "  object lstArchives: TListBox\n";
    place(out, Box{14, 106, 540, 194});
    if (!view.archives.empty()) {
        out << "    Items.Strings = (\n";
        for (const std::string& archive : view.archives) out << "      " << formString(archive) << "\n";
        out << "    )\n";
    }
    out << "    TabOrder = 1\n  end\n";
    label(out, "lblFileNameValue", Box{108, 14, 444, 16}, view.path);
    label(out, "lblFileSizeValue", Box{108, 40, 444, 16}, sizeText(view));
    out << "end\n";
    return out.str();
}

std::string propertiesMessageText(const PropertiesView& view) {
    std::string text = std::string(kFileNameLabel) + " " + view.path + "\n" + kFileSizeLabel + " " + sizeText(view) +
                       "\n" + kArchivesLabel;
    for (const std::string& archive : view.archives) text += "\n" + archive;
    return text;
}

}  // namespace kestran::plugin
