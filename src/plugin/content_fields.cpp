#include "plugin/content_fields.h"

#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "installation/kestran_db.h"
#include "plugin/virtual_path.h"

namespace kestran::plugin {

namespace {

constexpr const char* kStored = "stored";
constexpr const char* kLzo = "LZO";

// The name after a path's last separator, whichever system's separator it is.
std::string fileName(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

ContentValue text(int type, std::string value) {
    ContentValue out;
    out.type = type;
    out.text = std::move(value);
    return out;
}

ContentValue number(int type, std::int64_t value) {
    ContentValue out;
    out.type = type;
    out.number = value;
    return out;
}

// The default view's columns: the host's own size and date, then the plug-in's fields.
struct ViewColumn {
    std::string content;
    const char* header;
    int width;
};

}  // namespace

ContentValue contentValue(const std::string& path, int fieldIndex, const GuardedSets& sets,
                          const kestran_db::ShownNames& names) {
    if (fieldIndex < 0 || fieldIndex >= kContentFieldCount) return ContentValue{ft_nosuchfield, {}, 0};
    const std::optional<std::string> name = splitVirtualPath(path);
    if (!name) return ContentValue{ft_fileerror, {}, 0};
    const std::shared_ptr<const kestran_db::KestranDB> set = sets.find(*name);
    if (!set) return ContentValue{};
    const kestran_db::FileNode* node = set->findNode(names.treePath(*set, withoutTrailingSeparator(path)));
    if (node == nullptr) return ContentValue{ft_fileerror, {}, 0};
    const kestran_db::FileLocation* winner = node->winner();
    if (node->isDir() || winner == nullptr) return ContentValue{};

    switch (fieldIndex) {
        case kArchiveField:
            return winner->archive != nullptr ? text(ft_string, fileName(winner->archive->openPath)) : ContentValue{};
        case kArchivesField: {
            // An archive that holds the entry twice counts once.
            std::set<const kestran_db::ArchiveFile*> archives;
            for (const kestran_db::FileLocation& location : node->locations()) archives.insert(location.archive);
            return number(ft_numeric_32, static_cast<std::int64_t>(archives.size()));
        }
        case kPackedSizeField:
            return number(ft_numeric_64, winner->sizeCompressed);
        case kMethodField:
            return text(ft_multiplechoice, winner->isCompressed ? kLzo : kStored);
    }
    return ContentValue{ft_nosuchfield, {}, 0};
}

ContentView defaultContentView() {
    const int kNameWidth = 220;
    const int kExtensionWidth = 50;
    std::vector<ViewColumn> columns = {{"[=tc.size.bytes]", "Size", -80}, {"[=tc.writedate]", "Date", -140}};
    const char* const headers[kContentFieldCount] = {"Archive", "Archives", "Packed", "Method"};
    const int widths[kContentFieldCount] = {130, -70, -80, 70};
    for (int i = 0; i < kContentFieldCount; ++i)
        columns.push_back({std::string("[=<fs>.") + kContentFields[i].name + "]", headers[i], widths[i]});

    ContentView view;
    view.widths = std::to_string(kNameWidth) + "," + std::to_string(kExtensionWidth);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string separator = i == 0 ? "" : "\\n";
        view.contents += separator + columns[i].content;
        view.headers += separator + columns[i].header;
        view.widths += "," + std::to_string(columns[i].width);
    }
    view.options = "-1|0";
    return view;
}

}  // namespace kestran::plugin
