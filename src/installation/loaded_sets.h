#pragma once
// The installations loaded so far, by installation name (bytewise, case-sensitive).
// An entry is added once, after a successful load, and stays until the library is
// unloaded; the map holds the only handle to each KestranDB, so a set lives exactly
// as long as its entry. Not synchronised: callers must not overlap.
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "installation/kestran_db.h"

namespace kestran_db {

class LoadedSets {
public:
    // 0 or 1.
    std::size_t count(const std::string& name) const { return sets_.count(name); }

    // The set stored under a name, or null when there is none.
    std::shared_ptr<KestranDB> find(const std::string& name) const {
        const auto found = sets_.find(name);
        return found == sets_.end() ? nullptr : found->second;
    }

    // Stores a freshly loaded set unless the name already has one, and returns the set
    // that the name holds afterwards. An entry is never replaced.
    std::shared_ptr<KestranDB> store(const std::string& name, std::shared_ptr<KestranDB> set) {
        return sets_.emplace(name, std::move(set)).first->second;
    }

    // Stores a set loaded again in place of the one the name holds (an installation
    // whose archives changed); whoever still holds the old one keeps it until letting go.
    std::shared_ptr<KestranDB> replace(const std::string& name, std::shared_ptr<KestranDB> set) {
        return sets_[name] = std::move(set);
    }

    std::size_t size() const { return sets_.size(); }

private:
    std::map<std::string, std::shared_ptr<KestranDB>> sets_;
};

// The process-wide instance: created on first use, destroyed when the library unloads.
inline LoadedSets& loadedSets() {
    static LoadedSets sets;
    return sets;
}

}  // namespace kestran_db
