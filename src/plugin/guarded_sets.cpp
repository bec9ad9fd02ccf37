#include "plugin/guarded_sets.h"

#include <utility>

#include "common/failure.h"
#include "installation/loader.h"
#include "plugin/virtual_path.h"

namespace kestran::plugin {

GuardedSets::GuardedSets()
    : loader_([](const std::string& rootPath, std::int32_t versionCode, const std::string& prefix) {
          return kestran_db::loadInstallation(rootPath, versionCode, prefix);
      }),
      changed_(kestran_db::archivesChanged) {}

GuardedSets::GuardedSets(Loader loader, ChangeCheck changed)
    : loader_(std::move(loader)), changed_(std::move(changed)) {}

std::shared_ptr<const kestran_db::KestranDB> GuardedSets::find(const std::string& name) const {
    std::shared_lock<std::shared_mutex> lock(setsMutex_);
    return sets_.find(name);
}

std::shared_ptr<const kestran_db::KestranDB> GuardedSets::findOrLoad(const std::string& name,
                                                                     const Installation& installation) {
    auto current = [&] {
        std::shared_ptr<const kestran_db::KestranDB> set = find(name);
        return set && !(changed_ && changed_(*set, installation.versionCode)) ? set : nullptr;
    };
    if (auto set = current()) return set;

    const std::shared_ptr<std::mutex> loadLock = loadLockFor(name);
    std::lock_guard<std::mutex> loading(*loadLock);
    // Another thread may have loaded it while this one waited.
    if (auto set = current()) return set;

    std::shared_ptr<kestran_db::KestranDB> loaded =
        loader_(installation.rootPath, installation.versionCode, installationPrefix(name));
    if (!loaded) throw Failure(FailureKind::Invalid, kestran_db::kLoadFailed);

    std::unique_lock<std::shared_mutex> lock(setsMutex_);
    return sets_.replace(name, std::move(loaded));
}

std::size_t GuardedSets::size() const {
    std::shared_lock<std::shared_mutex> lock(setsMutex_);
    return sets_.size();
}

std::shared_ptr<std::mutex> GuardedSets::loadLockFor(const std::string& name) {
    std::lock_guard<std::mutex> lock(loadLocksMutex_);
    std::shared_ptr<std::mutex>& entry = loadLocks_[name];
    if (!entry) entry = std::make_shared<std::mutex>();
    return entry;
}

}  // namespace kestran::plugin
