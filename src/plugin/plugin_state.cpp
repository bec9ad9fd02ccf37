#include "plugin/plugin_state.h"

#include "config/settings.h"
#include "plugin/host_glue.h"

namespace kestran::plugin {

void PluginState::init(int number, tProgressProc progressProc) {
    pluginNumber_.store(number);
    progress_.store(progressProc);
}

const InstallationTable& PluginState::installations() {
    configure();
    return installations_;
}

const kestran_db::ShownNames& PluginState::names() {
    configure();
    return names_;
}

void PluginState::configure() {
    std::call_once(configured_, [this] {
        // Settings that can't be found leave the default codec.
        NameCodec codec = NameCodec::byDefault();
        if (const auto outcome = loadSettings(host::moduleHandle(), installations_)) codec = outcome->nameCodec;
        // A name goes into the host's record with its terminator.
        names_ = kestran_db::ShownNames(host::hostNameCodec(codec), MAX_PATH - 1);
    });
}

PluginState& pluginState() {
    static PluginState state;
    return state;
}

}  // namespace kestran::plugin
