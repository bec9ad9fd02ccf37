#include "plugin/plugin_state.h"

#include "config/settings.h"
#include "plugin/host_glue.h"

namespace kestran::plugin {

void PluginState::init(int number, tProgressProc progressProc) {
    pluginNumber_.store(number);
    progress_.store(progressProc);
}

const InstallationTable& PluginState::installations() {
    std::call_once(configured_, [this] { loadConfiguration(host::moduleHandle(), installations_); });
    return installations_;
}

PluginState& pluginState() {
    static PluginState state;
    return state;
}

}  // namespace kestran::plugin
