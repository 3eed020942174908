// A program that reads its own payload the way the updater does: writes the script text to the
// first file and the package to the second. Exit code 1 with the failure's text otherwise.
#include <fstream>
#include <iostream>

#include "update/Payload.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    try {
        std::ofstream(argv[1], std::ios::binary) << LoadScriptText();
        SavePackage(argv[2]);
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << '\n';
        return 1;
    }
    return 0;
}
