// The program part of an update package: started with no arguments, it puts the files of the
// archive attached to it into its current folder, verifies them and ends. Exit code 0 when
// every file is in place; otherwise 1 with the reason on the standard error stream, and no
// half-written file under a delivered name.
#include <archive.h>
#include <archive_entry.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/File.h"
#include "platform/OwnExecutable.h"
#include "update/PayloadFormat.h"

namespace {

namespace fs = std::filesystem;

struct TArchiveCloser {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using TArchive = std::unique_ptr<archive, TArchiveCloser>;

[[noreturn]] void Fail(const std::string& text) {
    throw std::runtime_error(text);
}

std::string ReadArchiveBytes() {
    const platform::TFile self = platform::TFile::OpenRead(platform::OwnProgramFileForReading());
    const auto directory = self.IsOpen() ? ReadPayloadDirectory(self) : std::nullopt;
    const TPayloadEntry* entry = directory ? directory->Find("ARCHIVE", "files") : nullptr;
    if (entry == nullptr) {
        Fail("the package carries no archive");
    }
    std::string bytes(static_cast<std::size_t>(entry->Size), '\0');
    if (!self.ReadAt(entry->Offset, bytes.data(), bytes.size())) {
        Fail("the package's archive cannot be read");
    }
    return bytes;
}

// Only plain names are delivered: a path in the archive could reach outside the folder.
void CheckPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string::npos || name.find(':') != std::string::npos) {
        Fail("unsafe name in the archive: " + name);
    }
}

// Writes the entry's data under a temporary name, checks that every byte arrived and that the
// archive's checksum held, then gives the file its name.
void Extract(archive* reader, archive_entry* entry) {
    const std::string name = archive_entry_pathname(entry);
    CheckPlainName(name);
    if (archive_entry_filetype(entry) != AE_IFREG) {
        Fail("not a plain file in the archive: " + name);
    }
    const fs::path target = fs::current_path() / name;
    const fs::path temporary = fs::current_path() / ("." + name + ".partial");
    std::uint64_t written = 0;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            Fail("cannot create " + temporary.string());
        }
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        for (;;) {
            const int status = archive_read_data_block(reader, &block, &size, &offset);
            if (status == ARCHIVE_EOF) {
                break;
            }
            if (status != ARCHIVE_OK) {
                out.close();
                fs::remove(temporary);
                Fail(name + ": " + archive_error_string(reader));
            }
            if (static_cast<std::uint64_t>(offset) != written) {
                out.seekp(offset);
            }
            out.write(static_cast<const char*>(block), static_cast<std::streamsize>(size));
            written = static_cast<std::uint64_t>(offset) + size;
        }
        out.close();
        if (!out) {
            fs::remove(temporary);
            Fail("cannot write " + temporary.string());
        }
    }
    std::error_code error;
    if (archive_entry_size_is_set(entry) &&
        fs::file_size(temporary, error) != static_cast<std::uint64_t>(archive_entry_size(entry))) {
        fs::remove(temporary, error);
        Fail(name + ": size differs from the archive");
    }
    fs::permissions(temporary, static_cast<fs::perms>(archive_entry_perm(entry) & 0777), error);
    if (archive_entry_mtime_is_set(entry)) {
        const auto seconds = std::chrono::seconds(archive_entry_mtime(entry));
        const auto time =
            std::chrono::file_clock::from_sys(std::chrono::sys_time<std::chrono::seconds>(seconds));
        fs::last_write_time(temporary, time, error);
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary);
        Fail("cannot put " + name + " in place: " + error.message());
    }
}

int Unpack() {
    const std::string bytes = ReadArchiveBytes();
    TArchive reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    archive_read_support_filter_none(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
        Fail(std::string("the package's archive is damaged: ") +
             archive_error_string(reader.get()));
    }
    archive_entry* entry = nullptr;
    int count = 0;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            Fail(std::string("the package's archive is damaged: ") +
                 archive_error_string(reader.get()));
        }
        Extract(reader.get(), entry);
        ++count;
    }
    if (count == 0) {
        Fail("the package's archive is empty");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::cerr << argv[0] << ": takes no arguments; run it in the folder to unpack into\n";
        return 2;
    }
    try {
        return Unpack();
    } catch (const std::exception& failure) {
        std::cerr << "update package: " << failure.what() << '\n';
        return 1;
    }
}
