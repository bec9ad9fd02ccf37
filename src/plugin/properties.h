#pragma once
// What the File Properties presentations show for an entry (the Win32 dialog and the
// Double Commander dialog take the same view), and the texts the Double Commander
// presentation hands the host.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installation/kestran_db.h"

namespace kestran::plugin {

constexpr const char* kPropertiesCaption = "File Properties";
constexpr const char* kFileNameLabel = "File name:";
constexpr const char* kFileSizeLabel = "File size:";
constexpr const char* kArchivesLabel = "Archive files (descending priority order):";
constexpr const char* kCloseButton = "Close";

struct PropertiesView {
    std::string path;                   // the full virtual path (as the host gave it, in its names)
    std::optional<std::uint32_t> size;  // of the highest-priority occurrence; none without one
    std::vector<std::string> archives;  // each occurrence's archive path, highest priority first
};

// The view of a path in a loaded set. A path the tree does not hold has no size and no
// archives; the tree is only read.
PropertiesView propertiesOf(const kestran_db::KestranDB& set, const std::string& path);

// A Lazarus form text for the host's DialogBoxLFM: the dialog laid out like the Win32
// one (caption, three labels, the two values, the archive list, a Close button that
// Esc also presses), with the values written into it.
std::string propertiesFormText(const PropertiesView& view);

// The same information as plain text, for a host that offers only a message box.
std::string propertiesMessageText(const PropertiesView& view);

}  // namespace kestran::plugin
