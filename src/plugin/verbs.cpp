#include "plugin/verbs.h"

#include <optional>

#include "config/editions.h"
#include "plugin/host_types.h"
#include "plugin/virtual_path.h"

namespace kestran::plugin {

namespace {

constexpr const char* kOpenVerb = "open";
constexpr const char* kPropertiesVerb = "properties";

}  // namespace

int executeVerb(const std::string& path, const std::string& verb, const GuardedSets& sets,
                const kestran_db::ShownNames& names, const PropertiesPresenter& present) {
    if (verb == kOpenVerb) return FS_EXEC_YOURSELF;
    if (isEditionTop(path)) return FS_EXEC_YOURSELF;

    const std::optional<std::string> name = splitVirtualPath(path);
    if (!name) return FS_EXEC_ERROR;
    const std::shared_ptr<const kestran_db::KestranDB> set = sets.find(*name);
    if (!set) return FS_EXEC_ERROR;
    if (verb != kPropertiesVerb) return FS_EXEC_ERROR;
    if (!present) return FS_EXEC_ERROR;
    PropertiesView view = propertiesOf(*set, names.treePath(*set, path));
    view.path = path;
    return present(view);
}

}  // namespace kestran::plugin
