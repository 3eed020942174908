// Builds an update package: the package program with a zip archive of the given files attached.
// Started with no arguments in a folder, the package puts the files there (PackageStub.cpp).
//   updater-build-package -o OUTPUT [--stub PROGRAM] FILE...
// A package for Windows: --stub with the Windows build's updater-package-stub.exe.
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/FolderLookup.h"
#include "platform/OwnExecutable.h"
#include "platform/PayloadFormat.h"
#include "tools/payload/ProgramCheck.h"

namespace {

namespace fs = std::filesystem;

struct TArchiveCloser {
    void operator()(archive* writer) const { archive_write_free(writer); }
};
using TArchive = std::unique_ptr<archive, TArchiveCloser>;

[[noreturn]] void Fail(const std::string& text) {
    throw std::runtime_error(text);
}

void WriteZip(const std::vector<fs::path>& files, const fs::path& zip) {
    TArchive writer(archive_write_new());
    archive_write_set_format_zip(writer.get());
    archive_write_set_options(writer.get(), "zip:compression=deflate");
    if (archive_write_open_filename(writer.get(), zip.c_str()) != ARCHIVE_OK) {
        Fail("cannot create " + zip.string());
    }
    for (const auto& file : files) {
        struct stat info {};
        if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            Fail("not a readable file: " + file.string());
        }
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            Fail("cannot read " + file.string());
        }
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            &archive_entry_free);
        archive_entry_set_pathname(entry.get(), file.filename().c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), info.st_mode & 0777);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_mtime(entry.get(), info.st_mtim.tv_sec, 0);
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK ||
            archive_write_data(writer.get(), bytes.data(), bytes.size()) !=
                static_cast<la_ssize_t>(bytes.size())) {
            Fail(std::string("cannot add ") + file.string() + ": " +
                 archive_error_string(writer.get()));
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        Fail("cannot finish " + zip.string());
    }
}

std::string Listed(const std::vector<std::string>& names) {
    return std::accumulate(
        std::next(names.begin()), names.end(), names.front(),
        [](std::string all, const std::string& name) { return std::move(all) + ", " + name; });
}

// The package must start on a computer that has nothing but the C library (Linux) or the
// system's own DLLs (Windows).
void CheckPackageProgram(const fs::path& stub) {
    if (IsWindowsProgram(stub.string())) {
        const auto imported = PeImportedLibraries(stub.string());
        if (!imported) {
            Fail("the package program " + stub.string() +
                 " is a PE program whose import directory cannot be read");
        }
        std::vector<std::string> beyond;
        std::copy_if(imported->begin(), imported->end(), std::back_inserter(beyond),
                     [](const std::string& library) { return !IsSystemLibrary(library); });
        if (!beyond.empty()) {
            Fail("the package program " + stub.string() +
                 " needs DLLs beyond the system's own: " + Listed(beyond));
        }
        return;
    }
    const auto needed = ElfNeededLibraries(stub.string());
    if (!needed) {
        Fail("the package program " + stub.string() + " is not a 64-bit ELF or a PE program");
    }
    std::vector<std::string> beyond;
    std::copy_if(needed->begin(), needed->end(), std::back_inserter(beyond),
                 [](const std::string& library) { return !IsPartOfTheCLibrary(library); });
    if (!beyond.empty()) {
        Fail("the package program " + stub.string() +
             " needs libraries beyond the C library: " + Listed(beyond));
    }
}

int Build(int argc, char** argv) {
    std::string output;
    // The package program is built beside this tool.
    fs::path stub =
        fs::canonical(platform::OwnProgramFileForReading()).parent_path() / "updater-package-stub";
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (argument == "--stub" && i + 1 < argc) {
            stub = argv[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            Fail("unknown option " + argument);
        } else {
            files.emplace_back(argument);
        }
    }
    if (output.empty() || files.empty()) {
        std::cerr << "usage: " << argv[0] << " -o OUTPUT [--stub PROGRAM] FILE...\n";
        return 2;
    }
    // The package delivers plain names into one folder, and names that differ only in letter
    // case would land on one file where names ignore case.
    std::vector<std::string> names;
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        for (const auto& other : names) {
            if (platform::SameNameIgnoringCase(name, other)) {
                Fail("two files named " + name);
            }
        }
        names.push_back(name);
    }
    CheckPackageProgram(stub);
    const fs::path zip = output + ".zip.partial";
    try {
        WriteZip(files, zip);
        // Past 4 GiB the zip needs zip64 records, which the package program does not read.
        if (fs::file_size(zip) >= 0xFFFFFFFFu) {
            Fail("the archive reaches 4 GiB; the package program unpacks smaller ones only");
        }
        WritePayload(stub.string(), {{"ARCHIVE", "files", zip.string()}}, output);
    } catch (...) {
        fs::remove(zip);
        throw;
    }
    fs::remove(zip);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Build(argc, argv);
    } catch (const std::exception& failure) {
        std::cerr << argv[0] << ": " << failure.what() << '\n';
        return 1;
    }
}
