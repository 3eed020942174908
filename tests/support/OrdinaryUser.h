// Runs an operation with an ordinary user's rights, so that folder permissions apply even when
// the tests run as root.
#pragma once

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/FailureText.h"

inline constexpr uid_t kNobody = 65534;

// Runs `operation` with an ordinary user's rights (as the user nobody, owning `tree`, in a child
// process when the test runs as root), so that folder permissions apply. Returns its failure
// text, "<no failure>" when it returned normally.
inline std::string FailureTextAsOrdinaryUser(const std::filesystem::path& tree,
                                             const std::function<void()>& operation) {
    if (geteuid() != 0) {
        return FailureText(operation);
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        EXPECT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    EXPECT_EQ(lchown(tree.c_str(), kNobody, kNobody), 0);
    int channel[2];
    if (pipe(channel) != 0) {
        return "<no pipe>";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(2);
        }
        std::string text;
        try {
            text = FailureText(operation);
        } catch (...) {
            text = "<another failure>";
        }
        _exit(write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0
                                                                                               : 1);
    }
    close(channel[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t size; (size = read(channel[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(size));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "<child failed>";
}
