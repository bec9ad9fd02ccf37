#pragma once
// The names of a loaded installation's entries as a host that works in UTF-8 shows
// them, and the way back from a path the host hands in to the tree's own path.
//
// A name that is valid UTF-8 is shown as it is; any other is shown converted by the
// NameCodec (the codec turns it back exactly). Two siblings never show the same text:
// a converted name that a sibling's name already is stays its bytes, and so does one
// that the host could not hold whole. The way back resolves a shown path one component
// at a time, so every name a listing shows leads back to its own entry:
//
//   under the parent P, a component C names
//     P\C       when C is valid UTF-8 and the tree holds P\C (a name shown as it is);
//     P\B       when B = codec.fromUtf8(C) is not valid UTF-8 and the tree holds P\B
//               (a converted name);
//     P\C       otherwise (a name handed over as its bytes, or one the tree lacks).
//
// Only reads the tree: safe in several threads at once.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "common/name_codec.h"
#include "installation/kestran_db.h"

namespace kestran_db {

class ShownNames {
public:
    // Names as their bytes, both ways: no conversion and no lookups.
    ShownNames() = default;
    // maxNameLength: the longest name, in bytes, the host can hold.
    explicit ShownNames(kestran::NameCodec codec, std::size_t maxNameLength = std::numeric_limits<std::size_t>::max());

    const kestran::NameCodec& codec() const { return codec_; }

    // The name shown for an entry of set: its name() as it is, or converted.
    std::string shownName(const KestranDB& set, const FileNode& node) const;

    // The tree path a shown path names ("\NAME\..." with "\" separators; the
    // installation's name, the first component, is never converted). Components that
    // name nothing in the tree are kept as given, so a lookup then finds nothing.
    std::string treePath(const KestranDB& set, std::string_view shownPath) const;

private:
    std::string childName(const KestranDB& set, const std::string& parent, std::string_view shown) const;

    kestran::NameCodec codec_;
    std::size_t maxNameLength_ = std::numeric_limits<std::size_t>::max();
};

}  // namespace kestran_db
