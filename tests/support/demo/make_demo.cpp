// kestran-make-demo DIRECTORY: writes the demo installation.
#include <exception>
#include <iostream>

#include "support/demo_installation.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestran-make-demo DIRECTORY\n";
        return 2;
    }
    try {
        kestran::testing::writeDemoInstallation(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "kestran-make-demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
