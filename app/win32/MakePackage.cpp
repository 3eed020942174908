// The build's own update package for Windows: the package program with a zip of the sample
// client files attached, the way the package builder attaches it on Linux. Run at build time
// (under Wine here, as the test lists are read).
//   updater-win32-make-package PROGRAM ZIP OUTPUT
#include <exception>
#include <iostream>

#include "platform/PayloadFormat.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " PROGRAM ZIP OUTPUT\n";
        return 2;
    }
    try {
        WritePayload(argv[1], {{"ARCHIVE", "files", argv[2]}}, argv[3]);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
