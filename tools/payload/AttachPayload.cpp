// Makes an updater for a release from a built one, without compiling: attaches the update
// script and the update package to a copy of the updater (or to the updater itself).
//   updater-attach-payload --script SCRIPT --package PACKAGE [-o OUTPUT] UPDATER
// The script and the package the updater already carries are replaced (Windows: as resources).
// Refuses a script with a zero byte (the updater reads the script up to its first zero byte, so the
// rest would be lost silently) and a package or updater that is not a program.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/ProgramResource.h"
#include "tools/payload/ProgramCheck.h"

namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw std::runtime_error(text);
}

int Attach(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    std::string script;
    std::string package;
    std::string output;
    std::string updater;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--script" || argument == "--package" || argument == "-o") &&
            i + 1 < argc) {
            (argument == "--script"    ? script
             : argument == "--package" ? package
                                       : output) = argv[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            Fail("unknown option " + argument);
        } else if (updater.empty()) {
            updater = argument;
        } else {
            Fail("more than one updater named");
        }
    }
    if (script.empty() || package.empty() || updater.empty()) {
        std::cerr << "usage: " << argv[0]
                  << " --script SCRIPT --package PACKAGE [-o OUTPUT] UPDATER\n";
        return 2;
    }
    if (const auto zero = FindZeroByte(script)) {
        Fail("the script " + script + " holds a zero byte at offset " + std::to_string(*zero) +
             "; the updater would cut the script there");
    }
    if (!IsProgramFile(package)) {
        Fail("the package " + package + " is not a program (neither ELF nor PE)");
    }
    if (!IsProgramFile(updater)) {
        Fail("the updater " + updater + " is not a program (neither ELF nor PE)");
    }
    platform::WriteProgramResources(updater,
                                    {{"TEXT", "SCRIPT", script}, {"EXEFILE", "FILES", package}},
                                    output.empty() ? updater : output);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Paths arrive whole whatever their letters (Unicode on Windows), as UTF-8.
    const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
    try {
        return Attach(arguments);
    } catch (const std::exception& failure) {
        std::cerr << arguments.at(0) << ": " << failure.what() << '\n';
        return 1;
    }
}
