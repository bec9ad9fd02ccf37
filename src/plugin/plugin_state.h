#pragma once
// The plug-in's process-wide state: what FsInit keeps, the installations and the names
// shown to the host, configured once (on first use, from kestran.ini beside the
// module), and the loaded sets. Lives until the library is unloaded.
#include <atomic>
#include <mutex>

#include "config/installation_table.h"
#include "installation/shown_names.h"
#include "plugin/guarded_sets.h"
#include "plugin/host_types.h"

namespace kestran::plugin {

class PluginState {
public:
    void init(int number, tProgressProc progressProc);
    int pluginNumber() const { return pluginNumber_.load(); }
    tProgressProc progress() const { return progress_.load(); }

    // Read from the settings the first time either is asked for, then never changed.
    const InstallationTable& installations();
    const kestran_db::ShownNames& names();
    GuardedSets& sets() { return sets_; }

private:
    void configure();

    std::atomic<int> pluginNumber_{0};
    std::atomic<tProgressProc> progress_{nullptr};
    std::once_flag configured_;
    InstallationTable installations_;
    kestran_db::ShownNames names_;
    GuardedSets sets_;
};

PluginState& pluginState();

}  // namespace kestran::plugin
