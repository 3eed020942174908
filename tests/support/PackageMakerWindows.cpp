// BuildTestPackage and DamagePackageArchive of PackageMaker.h for the Windows build, which has no
// package builder (it runs on Linux): the zip is written by the tests' own writer and attached to
// the built package program (UPDATER_PACKAGE_STUB) the way the builder attaches it.
#include "tests/support/PackageMaker.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/File.h"
#include "platform/PayloadFormat.h"
#include "platform/ProgramResource.h"
#include "tests/support/TestZip.h"

namespace {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::uint32_t Little(const std::string& bytes, std::size_t offset, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

} // namespace

std::string BuildTestPackage(const std::filesystem::path& output,
                             const std::vector<std::filesystem::path>& files) {
    std::vector<TTestZipEntry> entries;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            throw std::runtime_error("cannot read " + Utf8(file));
        }
        TTestZipEntry entry;
        entry.Name = Utf8(file.filename());
        entry.Content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        entry.ModifiedAt = std::chrono::system_clock::to_time_t(
            std::chrono::file_clock::to_sys(std::filesystem::last_write_time(file)));
        entries.push_back(std::move(entry));
    }
    const auto zip = std::filesystem::path(output).concat(".zip");
    WriteTestZip(zip, entries);
    WritePayload(UPDATER_PACKAGE_STUB, {{"ARCHIVE", "files", Utf8(zip)}}, Utf8(output));
    std::filesystem::remove(zip);
    return Utf8(output);
}

void DamagePackageArchive(const std::filesystem::path& package) {
    std::uint64_t offset = 0;
    {
        const auto file = platform::TFile::OpenRead(Utf8(package));
        const auto directory = ReadPayloadDirectory(file);
        const TPayloadEntry* archive = directory ? directory->Find("ARCHIVE", "files") : nullptr;
        std::string header(30, '\0');
        if (archive == nullptr || !file.ReadAt(archive->Offset, header.data(), header.size())) {
            throw std::runtime_error("no archive in " + Utf8(package));
        }
        // The middle of the first entry's packed data, behind its local header.
        offset = archive->Offset + header.size() + Little(header, 26, 2) + Little(header, 28, 2) +
                 Little(header, 18, 4) / 2;
    }
    std::fstream file(package, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(file.get() ^ 0x5A);
    file.seekp(static_cast<std::streamoff>(offset));
    file.put(byte);
}

std::string MakeTestCarrier(const std::filesystem::path& folder, const std::string& package,
                            const std::string& script) {
    std::filesystem::create_directories(folder);
    const auto scriptFile = folder / "script.sql";
    std::ofstream(scriptFile, std::ios::binary) << script;
    // The release tool's way: the built program's resources replaced, nothing compiled.
    const std::string carrier = Utf8(folder / "Updater.exe");
    platform::WriteProgramResources(
        UPDATER_RESOURCE_CARRIER,
        {{"TEXT", "SCRIPT", Utf8(scriptFile)}, {"EXEFILE", "FILES", package}}, carrier);
    return carrier;
}
