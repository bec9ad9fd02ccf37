#pragma once
// A fresh temporary folder per test, and archives written into it with the builder.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <ctime>
#include <string>

#include "support/archive_builder.h"
#include "support/file_times.h"
#include "support/temp_folder.h"

namespace kestran_db::testing {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

class TempFolder : public ::testing::Test {
protected:
    TempFolder() : root(folder.path().string()) {}

    std::string path(const std::string& relative) const { return (root / relative).string(); }

    void writeArchive(const std::string& relative, const ArchiveBuilder& builder, std::time_t time = 1700000000) {
        boost::filesystem::create_directories((root / relative).parent_path());
        builder.write(path(relative));
        kestran::testing::setLastWriteTime(path(relative), time);
    }

    void writeText(const std::string& relative, const std::string& text) {
        boost::filesystem::create_directories((root / relative).parent_path());
        kestran::testing::writeFile(path(relative), Bytes(text.begin(), text.end()));
    }

    static Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

    kestran::testing::TempFolder folder;
    boost::filesystem::path root;
};

}  // namespace kestran_db::testing
