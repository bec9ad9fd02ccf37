#include "plugin/find_handle.h"

namespace kestran::plugin {

bool FindHandle::start(WIN32_FIND_DATAA& out) {
    cursor_ = 0;
    if (records_.empty()) return false;
    out = records_.front();
    return true;
}

bool FindHandle::next(WIN32_FIND_DATAA& out) {
    if (cursor_ < records_.size()) ++cursor_;
    if (cursor_ >= records_.size()) return false;
    out = records_[cursor_];
    return true;
}

}  // namespace kestran::plugin
