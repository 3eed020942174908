// Reads the client bridge's record file (docs/client-bridge.md, "Recording"): one line per
// recorded call, tab-separated, fields escaped as %XX except printable ASCII.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace bridge_record {

struct TCall {
    long Process = 0; // the helper's child, one per caller process
    std::string Name;
    long long Result = 0;
    std::vector<std::string> Args;
};

inline std::string Unescaped(const std::string& field) {
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += field[i];
        }
    }
    return bytes;
}

// Every recorded call of the file in order; nothing when there is no file.
inline std::vector<TCall> Read(const std::string& path) {
    std::vector<TCall> calls;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return calls;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::vector<std::string> fields;
        for (std::size_t at = start;;) {
            const std::size_t tab = text.find('\t', at);
            if (tab == std::string::npos || tab >= end) {
                fields.push_back(text.substr(at, end - at));
                break;
            }
            fields.push_back(text.substr(at, tab - at));
            at = tab + 1;
        }
        if (fields.size() >= 3) {
            TCall call{std::stol(fields[0]), fields[1], std::stoll(fields[2]), {}};
            for (std::size_t i = 3; i < fields.size(); ++i) {
                call.Args.push_back(Unescaped(fields[i]));
            }
            calls.push_back(std::move(call));
        }
        start = end + 1;
    }
    return calls;
}

} // namespace bridge_record
