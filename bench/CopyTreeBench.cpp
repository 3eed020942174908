// CopyFolderTree against `cp -a` on the same generated tree of about 1 GiB (a few big files and
// many small ones), and the durable backup (the copy and FlushToDisk) against `cp -a` followed
// by `sync`. Checks that both copies are equal (kind, bytes, owner, group, mode, modification
// time, link target) and prints the median time of each over several runs and the two ratios.
//   bench_copy_tree [SCRATCH-FOLDER] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "update/FileOperations.h"

namespace {

namespace fs = std::filesystem;

void WriteRandomFile(const fs::path& path, std::size_t size, std::mt19937_64& random) {
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    while (size > 0) {
        for (auto& word : block) {
            word = random();
        }
        const std::size_t chunk = std::min(size, block.size() * sizeof(std::uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(chunk));
        size -= chunk;
    }
}

// 4 files of 192 MiB and 12,800 files of 1 to 31 KiB in 128 folders: about 1 GiB.
void Generate(const fs::path& tree) {
    std::mt19937_64 random(42);
    fs::create_directories(tree);
    for (int i = 0; i < 4; ++i) {
        WriteRandomFile(tree / ("big" + std::to_string(i) + ".bin"), 192u << 20, random);
    }
    // What `cp -a` keeps besides the bytes.
    fs::create_symlink("big0.bin", tree / "link.bin");
    fs::permissions(tree / "big1.bin", fs::perms::owner_read | fs::perms::group_read);
    for (int folder = 0; folder < 128; ++folder) {
        const fs::path sub = tree / "small" / std::to_string(folder);
        fs::create_directories(sub);
        for (int file = 0; file < 100; ++file) {
            WriteRandomFile(sub / (std::to_string(file) + ".dat"), (1 + random() % 31) << 10,
                            random);
        }
    }
}

// Every entry of the tree with its kind, owner, group, mode, modification time and link target;
// the bytes of files are compared separately.
std::vector<std::string> Describe(const fs::path& tree) {
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        std::string line = entry.path().lexically_relative(tree).string() + " " +
                           std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + ":" +
                           std::to_string(info.st_gid);
        if (!S_ISLNK(info.st_mode)) {
            line += " " + std::to_string(info.st_mtim.tv_sec) + "." +
                    std::to_string(info.st_mtim.tv_nsec);
        } else {
            line += " -> " + fs::read_symlink(entry.path()).string();
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool SameTrees(const fs::path& one, const fs::path& other) {
    if (Describe(one) != Describe(other)) {
        return false;
    }
    const std::string command =
        "diff -r --no-dereference -q '" + one.string() + "' '" + other.string() + "' >/dev/null";
    return std::system(command.c_str()) == 0;
}

double Seconds(const std::chrono::steady_clock::duration& duration) {
    return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const fs::path scratch = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "bench-scratch";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path source = scratch / "source";
    const fs::path target = scratch / "target";
    if (!fs::exists(source)) {
        std::printf("generating %s ...\n", source.c_str());
        Generate(source);
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
        }
    }

    const fs::path cpTarget = scratch / "target-cp";
    const auto copyWithCp = [&](const char* then) {
        const std::string command =
            "cp -a '" + source.string() + "' '" + cpTarget.string() + "'" + then;
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cp -a failed\n");
            std::exit(1);
        }
    };
    // Each sample starts from a clean page cache state for writes: nothing dirty left over.
    const auto timed = [](const std::function<void()>& action) {
        std::system("sync");
        const auto start = std::chrono::steady_clock::now();
        action();
        return Seconds(std::chrono::steady_clock::now() - start);
    };
    std::vector<double> ours;
    std::vector<double> cp;
    std::vector<double> oursDurable;
    std::vector<double> cpDurable;
    // The order alternates between runs, so that neither copy always follows the other's
    // deletion and write-back.
    for (int run = 0; run < runs; ++run) {
        const auto plain = [&] {
            fs::remove_all(target);
            ours.push_back(timed([&] { CopyFolderTree(source.string(), target.string()); }));
        };
        const auto plainCp = [&] {
            fs::remove_all(cpTarget);
            cp.push_back(timed([&] { copyWithCp(""); }));
        };
        const auto durable = [&] {
            fs::remove_all(target);
            oursDurable.push_back(timed([&] {
                CopyFolderTree(source.string(), target.string());
                FlushToDisk(target.string());
            }));
        };
        const auto durableCp = [&] {
            fs::remove_all(cpTarget);
            cpDurable.push_back(timed([&] { copyWithCp(" && sync"); }));
        };
        if (run % 2 == 0) {
            plain();
            plainCp();
        } else {
            plainCp();
            plain();
        }
        if (run == 0 && !SameTrees(target, cpTarget)) {
            std::fprintf(stderr, "the copies differ: %s %s\n", target.c_str(), cpTarget.c_str());
            return 1;
        }
        if (run % 2 == 0) {
            durable();
            durableCp();
        } else {
            durableCp();
            durable();
        }
    }
    fs::remove_all(target);
    fs::remove_all(cpTarget);

    std::printf("tree: %.2f GiB; runs: %d; both copies equal\n",
                static_cast<double>(bytes) / (1u << 30), runs);
    std::printf("CopyFolderTree median:        %.3f s\n", Median(ours));
    std::printf("cp -a median:                 %.3f s\n", Median(cp));
    std::printf("CopyFolderTree + flush median: %.3f s\n", Median(oursDurable));
    std::printf("cp -a + sync median:          %.3f s\n", Median(cpDurable));
    std::printf("ratio CopyFolderTree / cp -a: %.3f (target <= 1.0)\n", Median(ours) / Median(cp));
    std::printf("ratio durable backup / cp -a + sync: %.3f (target <= 1.0)\n",
                Median(oursDurable) / Median(cpDurable));
    return 0;
}
