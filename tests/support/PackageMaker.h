// Update packages and payload carriers for tests, made with the real tools.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Builds a package that delivers `files` with tools' updater-build-package; returns its path.
std::string BuildTestPackage(const std::filesystem::path& output,
                             const std::vector<std::filesystem::path>& files);

// A file that carries `script` text and the package file as the updater's payload.
std::string MakeTestCarrier(const std::filesystem::path& folder, const std::string& package,
                            const std::string& script = "select 1 from rdb$database;\r\n");

// Flips one byte in the middle of the package's archive, inside the first file's packed data.
void DamagePackageArchive(const std::filesystem::path& package);
