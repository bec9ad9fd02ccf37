// kestran-make-bench-installation KIND DIR: writes one of the benchmarks' installations
// into DIR (made when missing), for the benchmarks that are scripts.
//
//   many      60,000 files in twelve archives (support/large_installation.h)
//   packed    one 64 MiB member packed with LZO1X, textures/large.dds
//   stored    one 64 MiB member stored, textures/stored.dds
//   plain     a plain file DIR/plain.bin holding the stored member's bytes
#include <boost/filesystem/operations.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "bench_installations.h"
#include "support/large_installation.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestran-make-bench-installation many|packed|stored|plain DIR\n");
        return 2;
    }
    const std::string kind = argv[1];
    const std::string dir = argv[2];
    try {
        boost::filesystem::create_directories(dir);
        if (kind == "many") {
            kestran::testing::writeLargeInstallation(dir);
        } else if (kind == "packed") {
            kestran::bench::writeLargePackedMember(dir);
        } else if (kind == "stored") {
            kestran::bench::writeLargeStoredMember(dir);
        } else if (kind == "plain") {
            kestran::testing::writeFile((boost::filesystem::path(dir) / "plain.bin").string(),
                                        kestran::bench::noiseContents());
        } else {
            std::fprintf(stderr, "kestran-make-bench-installation: unknown kind '%s'\n", kind.c_str());
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestran-make-bench-installation: %s\n", e.what());
        return 1;
    }
    return 0;
}
