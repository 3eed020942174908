// The program part of an update package: started with no arguments, it puts the files of the
// zip archive attached to it into its current folder and ends. It has to start on a computer
// that has nothing but the C library (Linux) or the system's own DLLs (Windows), so it is linked
// statically and reads the zip itself, inflating with zlib. The same source serves both systems
// through the platform layer; names are UTF-8 throughout.
// Nothing is half done: every file is unpacked under a temporary name and checked (size and
// CRC-32) first, and only when all are good do they get their names. Exit code 0 when every file
// is in place. Otherwise 1, no file under a delivered name, and the reason on the standard error
// stream and in "<package file>.log" beside the package file: the updater does not look at the
// exit code, so that file is what support reads.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/OwnExecutable.h"
#include "platform/PayloadFormat.h"
#include "platform/SystemError.h"

namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw std::runtime_error(text);
}

[[noreturn]] void Damaged(const std::string& detail) {
    Fail("the package's archive is damaged: " + detail);
}

[[noreturn]] void Unsupported(const std::string& name, const std::string& why) {
    Fail("the package's archive holds " + name +
         ", which this package program cannot unpack: " + why);
}

std::uint32_t Little(const std::string& bytes, std::size_t offset, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

// Names and system texts go into a UTF-8 log: control characters and bytes that are not UTF-8
// are written as \xNN.
std::string Printable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80                    ? 1
                                   : byte >= 0xC2 && byte <= 0xDF ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        bool valid = length != 0 && i + length <= text.size() && byte >= 0x20 && byte != 0x7F;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            // The second byte also rules out overlong forms, surrogates and code points past
            // U+10FFFF.
            const unsigned char low = k > 1          ? 0x80
                                      : byte == 0xE0 ? 0xA0
                                      : byte == 0xF0 ? 0x90
                                                     : 0x80;
            const unsigned char high = k > 1          ? 0xBF
                                       : byte == 0xED ? 0x9F
                                       : byte == 0xF4 ? 0x8F
                                                      : 0xBF;
            valid = next >= low && next <= high;
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            ++i;
        }
    }
    return out;
}

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// One file of the archive, as the central directory describes it.
struct TZipEntry {
    std::string Name;
    std::uint32_t Method = 0;
    std::uint32_t Crc = 0;
    std::uint32_t PackedSize = 0;
    std::uint32_t Size = 0;
    std::uint32_t LocalHeader = 0; // offset within the archive
    std::optional<unsigned> Mode;  // permission bits, for an entry made on Unix
    std::time_t ModifiedAt = 0;
};

// The zip archive: a stretch of the package's own file.
class TArchive {
public:
    TArchive(const platform::TFile& file, std::uint64_t start, std::uint64_t size)
        : File_(file), Start_(start), Size_(size) {}

    std::uint64_t Size() const { return Size_; }

    void ReadInto(std::uint64_t offset, void* buffer, std::size_t size) const {
        if (offset > Size_ || size > Size_ - offset) {
            Damaged("a record reaches outside the archive");
        }
        if (!File_.ReadAt(Start_ + offset, buffer, size)) {
            Fail("the package's own file cannot be read");
        }
    }

    std::string Read(std::uint64_t offset, std::size_t size) const {
        std::string bytes(size, '\0');
        ReadInto(offset, bytes.data(), size);
        return bytes;
    }

private:
    const platform::TFile& File_;
    std::uint64_t Start_;
    std::uint64_t Size_;
};

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 8;

// The modification time: the extended timestamp field (0x5455) holds it in UTC seconds; without
// it, the DOS date and time in local time.
std::time_t ModificationTime(const std::string& extra, std::uint32_t dosTime,
                             std::uint32_t dosDate) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint32_t id = Little(extra, at, 2);
        const std::size_t size = Little(extra, at + 2, 2);
        if (id == 0x5455 && size >= 5 && at + 4 + size <= extra.size() && (extra[at + 4] & 1)) {
            return static_cast<std::time_t>(Little(extra, at + 5, 4));
        }
        at += 4 + size;
    }
    std::tm local{};
    local.tm_year = static_cast<int>(dosDate >> 9) + 80;
    local.tm_mon = static_cast<int>((dosDate >> 5) & 0xF) - 1;
    local.tm_mday = static_cast<int>(dosDate & 0x1F);
    local.tm_hour = static_cast<int>(dosTime >> 11);
    local.tm_min = static_cast<int>((dosTime >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(dosTime & 0x1F) * 2;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// Checks one central directory record's own fields; `record` holds its fixed part.
TZipEntry DescribeEntry(const std::string& record, std::string name, const std::string& extra) {
    TZipEntry entry;
    entry.Name = std::move(name);
    const std::string shown = Printable(entry.Name);
    const std::uint32_t flags = Little(record, 8, 2);
    entry.Method = Little(record, 10, 2);
    entry.Crc = Little(record, 16, 4);
    entry.PackedSize = Little(record, 20, 4);
    entry.Size = Little(record, 24, 4);
    entry.LocalHeader = Little(record, 42, 4);
    // Encrypted data (bit 0), strong encryption (bit 6), a masked local header (bit 13).
    if ((flags & 0x2041) != 0) {
        Unsupported(shown, "it is encrypted");
    }
    if (entry.Method != kStored && entry.Method != kDeflated) {
        Unsupported(shown, "packed by method " + std::to_string(entry.Method));
    }
    for (std::size_t at = 0; at + 4 <= extra.size(); at += 4 + Little(extra, at + 2, 2)) {
        if (Little(extra, at, 2) == 0x0001) {
            Unsupported(shown, "zip64 sizes");
        }
    }
    if (entry.PackedSize == 0xFFFFFFFF || entry.Size == 0xFFFFFFFF ||
        entry.LocalHeader == 0xFFFFFFFF) {
        Unsupported(shown, "zip64 sizes");
    }
    if (Little(record, 34, 2) != 0) {
        Unsupported(shown, "it lies on another disk");
    }
    if (entry.Method == kStored && entry.PackedSize != entry.Size) {
        Damaged(shown + ": stored with two different sizes");
    }
    const std::uint32_t madeOn = Little(record, 4, 2) >> 8;
    const std::uint32_t attributes = Little(record, 38, 4);
    constexpr std::uint32_t kUnix = 3, kDosFolder = 0x10, kFileType = 0170000, kPlain = 0100000;
    if (madeOn == kUnix) {
        const unsigned mode = attributes >> 16;
        if ((mode & kFileType) != 0 && (mode & kFileType) != kPlain) {
            Fail("not a plain file in the archive: " + shown);
        }
        entry.Mode = mode & 0777;
    } else if ((attributes & kDosFolder) != 0) {
        Fail("not a plain file in the archive: " + shown);
    }
    entry.ModifiedAt = ModificationTime(extra, Little(record, 12, 2), Little(record, 14, 2));
    return entry;
}

// The entries of the archive, from its end record and central directory, every offset and size
// checked against the archive. Also returns where the entries' data ends (the central directory
// starts).
std::vector<TZipEntry> ReadDirectory(const TArchive& archive, std::uint64_t& dataEnd) {
    // The end record closes the archive, followed only by its comment (at most 64 KiB).
    const std::uint64_t tailSize = std::min<std::uint64_t>(archive.Size(), kEndSize + 0xFFFF);
    const std::string tail = archive.Read(archive.Size() - tailSize, tailSize);
    std::optional<std::size_t> end;
    for (std::size_t at = tail.size() >= kEndSize ? tail.size() - kEndSize + 1 : 0; at-- > 0;) {
        if (Little(tail, at, 4) == kEndSignature &&
            at + kEndSize + Little(tail, at + 20, 2) == tail.size()) {
            end = at;
            break;
        }
    }
    if (!end) {
        Damaged("no end of the central directory");
    }
    const std::uint32_t count = Little(tail, *end + 10, 2);
    const std::uint32_t directorySize = Little(tail, *end + 12, 4);
    const std::uint32_t directoryOffset = Little(tail, *end + 16, 4);
    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF ||
        (*end >= kZip64LocatorSize &&
         Little(tail, *end - kZip64LocatorSize, 4) == kZip64LocatorSignature)) {
        Fail("the package's archive is in zip64 form, which this package program cannot read");
    }
    if (Little(tail, *end + 4, 2) != 0 || Little(tail, *end + 6, 2) != 0 ||
        Little(tail, *end + 8, 2) != count) {
        Fail("the package's archive spans several disks, which this package program cannot read");
    }
    const std::uint64_t endOffset = archive.Size() - tailSize + *end;
    if (std::uint64_t{directoryOffset} + directorySize != endOffset) {
        Damaged("the central directory is not where its end record says");
    }
    if (count == 0) {
        Fail("the package's archive is empty");
    }
    const std::string directory = archive.Read(directoryOffset, directorySize);
    std::vector<TZipEntry> entries;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (directory.size() - at < kCentralHeaderSize ||
            Little(directory, at, 4) != kCentralSignature) {
            Damaged("central directory record " + std::to_string(i + 1) + " is broken");
        }
        const std::size_t nameSize = Little(directory, at + 28, 2);
        const std::size_t extraSize = Little(directory, at + 30, 2);
        const std::size_t commentSize = Little(directory, at + 32, 2);
        if (directory.size() - at - kCentralHeaderSize < nameSize + extraSize + commentSize) {
            Damaged("central directory record " + std::to_string(i + 1) + " is broken");
        }
        const std::size_t nameAt = at + kCentralHeaderSize;
        entries.push_back(DescribeEntry(directory.substr(at, kCentralHeaderSize),
                                        directory.substr(nameAt, nameSize),
                                        directory.substr(nameAt + nameSize, extraSize)));
        at = nameAt + nameSize + extraSize + commentSize;
    }
    if (at != directory.size()) {
        Damaged("the central directory holds more than its entries");
    }
    dataEnd = directoryOffset;
    return entries;
}

// A name that Windows reserves for a device (CON, aux.txt, "nul .log"): opening it opens the
// device, whatever the extension.
bool IsDeviceName(const std::string& name) {
    std::string stem = LowerAscii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul" || stem == "conin$" ||
        stem == "conout$") {
        return true;
    }
    // COM0 to COM9 and LPT0 to LPT9, also with a superscript 1, 2 or 3 (UTF-8 C2 B9/B2/B3).
    const std::string port = stem.substr(0, 3);
    const std::string number = stem.size() > 3 ? stem.substr(3) : std::string();
    return (port == "com" || port == "lpt") &&
           ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
            number == "\xC2\xB2" || number == "\xC2\xB3");
}

// Only plain names that every system keeps as they are get delivered, so a package unpacks the
// same on Linux and Windows: a path could reach outside the folder; a drive ("C:x"), a stream
// ("a:b"), a device name or a character Windows refuses in names could write elsewhere or
// nowhere; Windows drops a trailing dot or blank, so the file would land under another name;
// and the names are UTF-8 (Printable leaves only valid UTF-8 without control characters as it
// is), the only form that becomes the same name on both.
void CheckPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || Printable(name) != name ||
        name.find_first_of("/\\:*?\"<>|") != std::string::npos || name.back() == '.' ||
        name.back() == ' ' || IsDeviceName(name)) {
        Fail("unsafe name in the archive: " + Printable(name));
    }
}

std::string TemporaryName(const std::string& name) {
    return "." + name + ".partial";
}

// Two entries of one name (in any letter case, as on Windows), or a name that is another entry's
// temporary name, would overwrite each other's files.
void CheckNamesApart(const std::vector<TZipEntry>& entries) {
    std::set<std::string> taken;
    for (const auto& entry : entries) {
        CheckPlainName(entry.Name);
        if (!taken.insert(LowerAscii(entry.Name)).second ||
            !taken.insert(LowerAscii(TemporaryName(entry.Name))).second) {
            Fail("two files named " + Printable(entry.Name) + " in the archive");
        }
    }
}

// Writes an entry's file under its temporary name, all of its data inflated and checked.
class TFileWriter {
public:
    TFileWriter(const TZipEntry& entry, std::string folder)
        : Entry_(entry), Folder_(std::move(folder)), Temporary_(TemporaryName(entry.Name)),
          File_(Create()) {}

    void Write(const unsigned char* data, std::size_t size) {
        if (size > Entry_.Size - Written_) {
            Damaged(Printable(Entry_.Name) + ": more data than its size");
        }
        Written_ += size;
        Crc_ = crc32(Crc_, data, static_cast<uInt>(size));
        if (!File_.Write(data, size)) {
            WriteFailed(platform::LastSystemError());
        }
    }

    // Checks size and checksum, gives the file its mode and time, and closes it. Windows has no
    // modes: a Unix entry without the owner's write bit becomes a read-only file, any other
    // stays writable.
    void Finish() {
        const std::string shown = Printable(Entry_.Name);
        if (Written_ != Entry_.Size) {
            Damaged(shown + ": size differs from the archive");
        }
        if (Crc_ != Entry_.Crc) {
            Damaged(shown + ": checksum differs");
        }
        if (Entry_.Mode && !File_.SetPermissions(*Entry_.Mode)) {
            Fail("cannot set the mode of " + Printable(Temporary_) + ": " +
                 platform::LastSystemError().Text);
        }
        if (!File_.SetModifiedTime(Entry_.ModifiedAt)) {
            Fail("cannot set the time of " + Printable(Temporary_) + ": " +
                 platform::LastSystemError().Text);
        }
        if (!File_.Close()) {
            WriteFailed(platform::LastSystemError());
        }
    }

private:
    platform::TFile Create() {
        // A temporary left by an interrupted run is replaced; creating only a new file keeps it
        // from being written through a link of that name.
        platform::DeleteOneFile(Temporary_);
        platform::TFile file = platform::TFile::CreateNew(Temporary_);
        if (!file.IsOpen()) {
            const platform::TSystemError error = platform::LastSystemError();
            if (error.Kind == platform::TSystemErrorKind::NoAccess) {
                Fail("cannot write into the folder " + Printable(Folder_) + ": " + error.Text);
            }
            if (error.Kind == platform::TSystemErrorKind::NoRoom) {
                Fail("no room in the folder " + Printable(Folder_) + ": " + error.Text);
            }
            Fail("cannot create " + Printable(Temporary_) + " in " + Printable(Folder_) + ": " +
                 error.Text);
        }
        return file;
    }

    [[noreturn]] void WriteFailed(const platform::TSystemError& error) {
        if (error.Kind == platform::TSystemErrorKind::NoRoom) {
            Fail("no room for " + Printable(Entry_.Name) + " in the folder " + Printable(Folder_) +
                 ": " + error.Text);
        }
        Fail("cannot write " + Printable(Temporary_) + " in " + Printable(Folder_) + ": " +
             error.Text);
    }

    const TZipEntry& Entry_;
    std::string Folder_;
    std::string Temporary_;
    platform::TFile File_;
    std::uint64_t Written_ = 0;
    uLong Crc_ = crc32(0, nullptr, 0);
};

constexpr std::size_t kChunk = 1 << 18;

// Passes the entry's packed data, read from `offset` on, to `writer`, inflated when deflated.
void Unpack(const TArchive& archive, const TZipEntry& entry, std::uint64_t offset,
            TFileWriter& writer) {
    std::vector<unsigned char> in(kChunk);
    std::uint64_t remaining = entry.PackedSize;
    const auto readChunk = [&] {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunk));
        archive.ReadInto(offset, in.data(), size);
        offset += size;
        remaining -= size;
        return size;
    };
    if (entry.Method == kStored) {
        while (remaining > 0) {
            writer.Write(in.data(), readChunk());
        }
        return;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        Fail("out of memory");
    }
    struct TEnd {
        z_stream& Stream;
        ~TEnd() { inflateEnd(&Stream); }
    } end{stream};
    std::vector<unsigned char> out(kChunk);
    for (int status = Z_OK; status != Z_STREAM_END;) {
        if (stream.avail_in == 0) {
            if (remaining == 0) {
                Damaged(Printable(entry.Name) + ": the packed data ends early");
            }
            stream.avail_in = static_cast<uInt>(readChunk());
            stream.next_in = in.data();
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_MEM_ERROR) {
            Fail("out of memory");
        }
        if (status != Z_OK && status != Z_STREAM_END) {
            Damaged(Printable(entry.Name) + ": " +
                    (stream.msg != nullptr ? stream.msg : "the packed data is broken"));
        }
        writer.Write(out.data(), out.size() - stream.avail_out);
    }
    if (remaining != 0 || stream.avail_in != 0) {
        Damaged(Printable(entry.Name) + ": the packed data goes on past its end");
    }
}

// Writes and checks the entry's file under its temporary name, which joins `temporaries` as soon
// as it exists.
void Extract(const TArchive& archive, std::uint64_t dataEnd, const TZipEntry& entry,
             const std::string& folder, std::vector<std::string>& temporaries) {
    const std::string shown = Printable(entry.Name);
    if (entry.LocalHeader > dataEnd || dataEnd - entry.LocalHeader < kLocalHeaderSize) {
        Damaged(shown + ": its header lies outside the files' data");
    }
    const std::string header = archive.Read(entry.LocalHeader, kLocalHeaderSize);
    const std::size_t nameSize = Little(header, 26, 2);
    const std::uint64_t dataStart =
        entry.LocalHeader + kLocalHeaderSize + nameSize + Little(header, 28, 2);
    if (Little(header, 0, 4) != kLocalSignature || Little(header, 8, 2) != entry.Method ||
        nameSize != entry.Name.size() || dataStart > dataEnd ||
        entry.PackedSize > dataEnd - dataStart ||
        archive.Read(entry.LocalHeader + kLocalHeaderSize, nameSize) != entry.Name) {
        Damaged(shown + ": its header differs from the central directory");
    }
    TFileWriter writer(entry, folder);
    temporaries.push_back(TemporaryName(entry.Name));
    Unpack(archive, entry, dataStart, writer);
    writer.Finish();
}

// Puts every file of the archive in place, or none. Returns the failures, one text each.
std::vector<std::string> Deliver() {
    std::vector<std::string> failures;
    std::vector<std::string> temporaries;
    std::vector<std::string> delivered;
    try {
        const platform::TFile self =
            platform::TFile::OpenRead(platform::OwnProgramFileForReading());
        const auto payload = self.IsOpen() ? ReadPayloadDirectory(self) : std::nullopt;
        const TPayloadEntry* files = payload ? payload->Find("ARCHIVE", "files") : nullptr;
        if (files == nullptr) {
            Fail("the package carries no archive");
        }
        const TArchive archive(self, files->Offset, files->Size);
        std::uint64_t dataEnd = 0;
        const std::vector<TZipEntry> entries = ReadDirectory(archive, dataEnd);
        CheckNamesApart(entries);
        // For the texts only; u8string, since string() would take the Windows code page.
        std::error_code error;
        const std::u8string current = std::filesystem::current_path(error).u8string();
        const std::string folder(current.begin(), current.end());
        for (const auto& entry : entries) {
            Extract(archive, dataEnd, entry, folder, temporaries);
        }
        // A folder under a delivered name would stop its rename after others were done.
        for (const auto& entry : entries) {
            if (platform::IsRealFolder(entry.Name)) {
                Fail("cannot put " + Printable(entry.Name) + " in place in " + Printable(folder) +
                     ": a folder of that name is in the way");
            }
        }
        for (const auto& entry : entries) {
            if (!platform::RenameReplacing(TemporaryName(entry.Name), entry.Name)) {
                Fail("cannot put " + Printable(entry.Name) + " in place in " + Printable(folder) +
                     ": " + platform::LastSystemError().Text);
            }
            delivered.push_back(entry.Name);
        }
    } catch (const std::exception& failure) {
        failures.push_back(failure.what());
        for (std::size_t i = delivered.size(); i < temporaries.size(); ++i) {
            if (!platform::DeleteOneFile(temporaries[i])) {
                failures.push_back("cannot remove " + Printable(temporaries[i]) + ": " +
                                   platform::LastSystemError().Text);
            }
        }
        if (!delivered.empty()) {
            std::string names;
            for (const auto& name : delivered) {
                names += (names.empty() ? "" : ", ") + Printable(name);
            }
            failures.push_back("already put in place before the failure: " + names);
        }
    }
    return failures;
}

// Writes the log anew; the old one was removed at the start, and a file that is there now is
// not written through.
void WriteLog(const std::string& log, const std::string& text) {
    platform::TFile file = platform::TFile::CreateNew(log);
    if (!file.IsOpen() || !file.Write(text.data(), text.size()) || !file.Close()) {
        throw std::runtime_error(platform::LastSystemError().Text);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "%s: takes no arguments; run it in the folder to unpack into\n",
                     argv[0]);
        return 2;
    }
    // Beside the package file itself, wherever the current folder is.
    const std::string program = platform::OwnExecutablePath();
    const std::string log = program.empty() ? std::string() : program + ".log";
    // A log of an earlier failed run would tell of a failure that is no more.
    if (!log.empty()) {
        platform::DeleteOneFile(log);
    }
    const std::vector<std::string> failures = Deliver();
    if (failures.empty()) {
        return 0;
    }
    std::string text;
    for (const auto& failure : failures) {
        text += "update package: " + failure + "\n";
    }
    std::fputs(text.c_str(), stderr);
    if (!log.empty()) {
        try {
            WriteLog(log, text);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "update package: cannot write %s: %s\n", Printable(log).c_str(),
                         failure.what());
        }
    }
    return 1;
}
