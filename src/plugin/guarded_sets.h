#pragma once
// LoadedSets made safe for the host's threads. A set is built completely before it is
// published and never changed afterwards; every reader gets it as const and looks
// nodes up with findNode, so trees need no lock of their own. The map has a
// reader-writer lock that is held only for a lookup or an insert, never during a load:
// loading one installation does not hold up listings or copies in another. Two
// threads that list the same unloaded installation at once load it once: the second
// waits for the first on that installation's own load lock.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "config/installation_table.h"
#include "installation/kestran_db.h"
#include "installation/loaded_sets.h"

namespace kestran::plugin {

class GuardedSets {
public:
    using Loader = std::function<std::shared_ptr<kestran_db::KestranDB>(
        const std::string& rootPath, std::int32_t versionCode, const std::string& prefix)>;
    // Whether a loaded set's archives changed since it was loaded (see archivesChanged).
    using ChangeCheck = std::function<bool(const kestran_db::KestranDB& set, std::int32_t versionCode)>;

    // Loads with loadInstallation, and again once the archives changed; tests put their
    // own loader in (and a change check, or none: then a set is never loaded again).
    GuardedSets();
    explicit GuardedSets(Loader loader, ChangeCheck changed = nullptr);

    GuardedSets(const GuardedSets&) = delete;
    GuardedSets& operator=(const GuardedSets&) = delete;

    // The set loaded under a name, or null. Never loads.
    std::shared_ptr<const kestran_db::KestranDB> find(const std::string& name) const;

    // The set of an installation, loaded first (with the prefix "\NAME\") when the name
    // has none, or again when its archives changed since (a modder rebuilt one while the
    // file manager is open): the new set takes the old one's place, and callers that
    // still hold the old one keep it until they let go. A load that throws stores
    // nothing (the old set stays), so the next call tries again; the loader's exception
    // goes on to the caller.
    std::shared_ptr<const kestran_db::KestranDB> findOrLoad(const std::string& name, const Installation& installation);

    std::size_t size() const;

private:
    std::shared_ptr<std::mutex> loadLockFor(const std::string& name);

    Loader loader_;
    ChangeCheck changed_;
    mutable std::shared_mutex setsMutex_;
    kestran_db::LoadedSets sets_;
    std::mutex loadLocksMutex_;
    std::map<std::string, std::shared_ptr<std::mutex>> loadLocks_;
};

}  // namespace kestran::plugin
