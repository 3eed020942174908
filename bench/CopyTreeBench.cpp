// CopyFolderTree against `cp -a` on the same generated tree of about 1 GiB (a few big files and
// many small ones). Prints the median time of each over several runs and their ratio.
//   bench_copy_tree [SCRATCH-FOLDER] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
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
    for (int folder = 0; folder < 128; ++folder) {
        const fs::path sub = tree / "small" / std::to_string(folder);
        fs::create_directories(sub);
        for (int file = 0; file < 100; ++file) {
            WriteRandomFile(sub / (std::to_string(file) + ".dat"), (1 + random() % 31) << 10,
                            random);
        }
    }
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

    std::vector<double> ours;
    std::vector<double> cp;
    for (int run = 0; run < runs; ++run) {
        fs::remove_all(target);
        std::system("sync");
        auto start = std::chrono::steady_clock::now();
        CopyFolderTree(source.string(), target.string());
        ours.push_back(Seconds(std::chrono::steady_clock::now() - start));

        fs::remove_all(target);
        std::system("sync");
        const std::string command = "cp -a '" + source.string() + "' '" + target.string() + "'";
        start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cp -a failed\n");
            return 1;
        }
        cp.push_back(Seconds(std::chrono::steady_clock::now() - start));
    }
    fs::remove_all(target);

    const double oursMedian = Median(ours);
    const double cpMedian = Median(cp);
    std::printf("tree: %.2f GiB; runs: %d\n", static_cast<double>(bytes) / (1u << 30), runs);
    std::printf("CopyFolderTree median: %.3f s\n", oursMedian);
    std::printf("cp -a median:          %.3f s\n", cpMedian);
    std::printf("ratio CopyFolderTree / cp -a: %.3f (target <= 1.1)\n", oursMedian / cpMedian);
    return 0;
}
