#include "plugin/find_data.h"

#include <cstring>

namespace kestran::plugin {

void copyBounded(char* destination, std::string_view text, std::size_t size) {
    if (size == 0) return;
    const std::size_t count = text.size() < size ? text.size() : size - 1;
    if (count != 0) std::memcpy(destination, text.data(), count);
    destination[count] = '\0';
}

WIN32_FIND_DATAA makeFindData(std::string_view name, bool isDirectory, std::uint32_t size, FILETIME time) {
    WIN32_FIND_DATAA record;
    std::memset(&record, 0, sizeof record);
    record.dwFileAttributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0;
    record.ftLastWriteTime = time;
    record.nFileSizeLow = isDirectory ? 0 : size;
    copyBounded(record.cFileName, name, sizeof record.cFileName);
    return record;
}

}  // namespace kestran::plugin
