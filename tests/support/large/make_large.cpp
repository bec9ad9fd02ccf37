// kestran-make-large-installation DIRECTORY: writes the benchmarks' large installation.
#include <exception>
#include <iostream>

#include "support/large_installation.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestran-make-large-installation DIRECTORY\n";
        return 2;
    }
    try {
        kestran::testing::writeLargeInstallation(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "kestran-make-large-installation: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
