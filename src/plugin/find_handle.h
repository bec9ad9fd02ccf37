#pragma once
// One enumeration: every record prepared before the first is handed out, then a
// cursor. Its address is the handle the host gets from FsFindFirst.
#include <cstddef>
#include <vector>

#include "plugin/host_types.h"

namespace kestran::plugin {

class FindHandle {
public:
    void append(const WIN32_FIND_DATAA& record) { records_.push_back(record); }
    bool empty() const { return records_.empty(); }
    std::size_t size() const { return records_.size(); }
    const std::vector<WIN32_FIND_DATAA>& records() const { return records_; }

    // Puts the first record into out and sets the cursor on it. False (out untouched)
    // when there is none.
    bool start(WIN32_FIND_DATAA& out);
    // Moves the cursor on and puts that record into out. False (out untouched) once the
    // cursor has passed the last record.
    bool next(WIN32_FIND_DATAA& out);

private:
    std::vector<WIN32_FIND_DATAA> records_;
    std::size_t cursor_ = 0;
};

}  // namespace kestran::plugin
