#include "tests/support/PackageMaker.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/File.h"
#include "platform/PayloadFormat.h"

std::string BuildTestPackage(const std::filesystem::path& output,
                             const std::vector<std::filesystem::path>& files) {
    std::string command =
        std::string("'") + UPDATER_BUILD_PACKAGE + "' -o '" + output.string() + "'";
    for (const auto& file : files) {
        command += " '" + file.string() + "'";
    }
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("building a test package failed: " + command);
    }
    return output.string();
}

std::string MakeTestCarrier(const std::filesystem::path& folder, const std::string& package,
                            const std::string& script) {
    std::filesystem::create_directories(folder);
    const auto program = folder / "carrier.program";
    const auto scriptFile = folder / "carrier.sql";
    std::ofstream(program, std::ios::binary) << "\x7F"
                                                "ELF stand-in for the updater";
    std::ofstream(scriptFile, std::ios::binary) << script;
    const auto carrier = folder / "carrier";
    WritePayload(program.string(),
                 {{"TEXT", "SCRIPT", scriptFile.string()}, {"EXEFILE", "FILES", package}},
                 carrier.string());
    return carrier.string();
}

void DamagePackageArchive(const std::filesystem::path& package) {
    std::uint64_t offset = 0;
    {
        const auto file = platform::TFile::OpenRead(package.string());
        const auto directory = ReadPayloadDirectory(file);
        const TPayloadEntry* archive = directory ? directory->Find("ARCHIVE", "files") : nullptr;
        if (archive == nullptr) {
            throw std::runtime_error("no archive in " + package.string());
        }
        offset = archive->Offset + archive->Size / 3;
    }
    std::fstream file(package, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(file.get() ^ 0x5A);
    file.seekp(static_cast<std::streamoff>(offset));
    file.put(byte);
}
