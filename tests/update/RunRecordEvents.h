// Reading the run record (update/RunRecord.h) in tests: its events without their time stamps,
// whether they come in an expected order, and a search for a secret in every file of a tree.
#pragma once

#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/TreeSnapshot.h"

// The events of the record `file`, in order. Every line must be whole (ended by a line feed)
// and begin with a local time stamp "YYYY-MM-DD HH:MM:SS.mmm "; a line that is not is a failure
// of the test and is left out.
inline std::vector<std::string> RecordEvents(const std::filesystem::path& file) {
    const std::string bytes = ReadBytes(file);
    EXPECT_FALSE(bytes.empty()) << "no record at " << file.string();
    EXPECT_TRUE(bytes.empty() || bytes.back() == '\n') << "an unfinished last line in " << file;
    std::vector<std::string> events;
    const std::string pattern = "dddd-dd-dd dd:dd:dd.ddd ";
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        const std::string line = bytes.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? bytes.size() : end + 1;
        bool stamped = line.size() > pattern.size();
        for (std::size_t i = 0; stamped && i < pattern.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            stamped = pattern[i] == 'd' ? std::isdigit(c) != 0 : line[i] == pattern[i];
        }
        EXPECT_TRUE(stamped) << "not a record line: " << line;
        if (stamped) {
            events.push_back(line.substr(pattern.size()));
        }
    }
    return events;
}

// The events of the last Start in a record that several Starts appended to (each begins with
// its "updater:" line).
inline std::vector<std::string> LastStart(const std::vector<std::string>& events) {
    std::size_t begin = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].rfind("updater: ", 0) == 0) {
            begin = i;
        }
    }
    return {events.begin() + static_cast<std::ptrdiff_t>(begin), events.end()};
}

// Whether each of `expected` begins an event, in this order (other events may come between).
inline ::testing::AssertionResult EventsInOrder(const std::vector<std::string>& events,
                                                const std::vector<std::string>& expected) {
    std::size_t next = 0;
    for (const std::string& event : events) {
        if (next < expected.size() && event.rfind(expected[next], 0) == 0) {
            ++next;
        }
    }
    if (next == expected.size()) {
        return ::testing::AssertionSuccess();
    }
    auto failure = ::testing::AssertionFailure()
                   << "no event \"" << expected[next] << "\" in its place; the record:\n";
    for (const std::string& event : events) {
        failure << "  " << event << "\n";
    }
    return failure;
}

// The steps begun and not ended (nor failed), by name, in order.
inline std::vector<std::string> OpenSteps(const std::vector<std::string>& events) {
    std::vector<std::string> open;
    for (const std::string& event : events) {
        if (event.rfind("begin ", 0) == 0) {
            open.push_back(event.substr(6));
        } else {
            for (const char* ending : {"end ", "fail "}) {
                const std::string prefix(ending);
                if (event.rfind(prefix, 0) == 0) {
                    for (auto step = open.rbegin(); step != open.rend(); ++step) {
                        if (event.compare(prefix.size(), step->size() + 2, *step + " (") == 0) {
                            open.erase(std::next(step).base());
                            break;
                        }
                    }
                }
            }
        }
    }
    return open;
}

// The files under `folder` whose bytes hold any of `forms`.
inline std::vector<std::string> FilesHolding(const std::filesystem::path& folder,
                                             const std::vector<std::string>& forms) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string bytes = ReadBytes(entry.path());
        for (const std::string& form : forms) {
            if (bytes.find(form) != std::string::npos) {
                found.push_back(entry.path().string());
                break;
            }
        }
    }
    return found;
}

// Both snapshots without the run records in them, and without the modification time of each
// folder that holds a record in either (a new record changes its folder's time): for a check
// that a run changed nothing but its record.
inline void LeaveOutRunRecords(TTreeSnapshot& before, TTreeSnapshot& after) {
    std::vector<std::string> folders;
    for (TTreeSnapshot* snapshot : {&before, &after}) {
        for (auto entry = snapshot->begin(); entry != snapshot->end();) {
            const std::string& name = entry->first;
            const std::size_t cut = name.find_last_of("/\\");
            if (name.substr(cut == std::string::npos ? 0 : cut + 1) == "Updater.log") {
                folders.push_back(cut == std::string::npos ? "." : name.substr(0, cut));
                entry = snapshot->erase(entry);
            } else {
                ++entry;
            }
        }
    }
    for (TTreeSnapshot* snapshot : {&before, &after}) {
        for (const std::string& folder : folders) {
            const auto entry = snapshot->find(folder);
            if (entry != snapshot->end()) {
                entry->second = entry->second.substr(0, entry->second.find(" mtime "));
            }
        }
    }
}
