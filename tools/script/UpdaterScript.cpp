// Shows a release engineer what the script engine will do with an update script, without a
// server.
//   updater-script split FILE [--charset CHARSET]   the statements as the engine runs them (JSON)
//   updater-script check FILE [--charset CHARSET]   statement kinds and problems
// CHARSET is the script's character set, WIN1251 unless given. Exit code: 0 fine, 1 problems
// found (split: an open construct at the end or a malformed script command), 2 usage or I/O.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tools/script/ScriptTool.h"

namespace {

constexpr int kUsageOrInput = 2;

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw TUsageError("cannot open " + path + ": " + std::strerror(errno));
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        throw TUsageError("cannot read " + path);
    }
    return std::move(content).str();
}

int Run(int argc, char** argv) {
    std::string command;
    std::string file;
    std::string charset = "WIN1251";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--charset") {
            if (i + 1 == argc) {
                throw TUsageError("--charset needs a character set name");
            }
            charset = argv[++i];
        } else if (argument.starts_with("-") && argument != "-") {
            throw TUsageError("unknown option " + argument);
        } else if (command.empty()) {
            command = argument;
        } else if (file.empty()) {
            file = argument;
        } else {
            throw TUsageError("more than one script named");
        }
    }
    if ((command != "split" && command != "check") || file.empty()) {
        throw TUsageError("usage: updater-script split|check FILE [--charset CHARSET]");
    }
    std::unique_ptr<TTextConverter> converter;
    try {
        converter = std::make_unique<TTextConverter>(charset);
    } catch (const std::runtime_error& failure) {
        throw TUsageError(failure.what());
    }
    const std::string script = ReadFile(file);

    if (command == "check") {
        const TCheckReport report = CheckScript(script, *converter);
        std::cout << FormatCheckReport(report);
        return report.Problems.empty() ? 0 : 1;
    }
    const TSplitScript split = SplitLikeTheEngine(script);
    std::cout << SplitJson(split, *converter);
    int exitCode = 0;
    for (const auto& statement : split.Statements) {
        if (!statement.CommandError.empty()) {
            std::cerr << file << ": line " << statement.Line << ": " << statement.CommandError
                      << '\n';
            exitCode = 1;
        }
    }
    if (split.Rest) {
        std::cerr << file << ": line " << split.Rest->Line
                  << ": the script ends inside an unfinished statement (see check)\n";
        exitCode = 1;
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const TUsageError& failure) {
        std::cerr << "updater-script: " << failure.what() << '\n';
        return kUsageOrInput;
    } catch (const std::exception& failure) {
        std::cerr << "updater-script: " << failure.what() << '\n';
        return kUsageOrInput;
    }
}
