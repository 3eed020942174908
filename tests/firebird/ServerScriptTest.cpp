// The private server's start script against a port that another program already serves: it must
// refuse to start, and never take that program for its own server nor speak to it.
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A listener on a free port of 127.0.0.1 that accepts every connection and notes whether any
// client sent it a byte.
class TForeignListener {
public:
    TForeignListener() {
        Socket_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(Socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(Socket_, 8) != 0 ||
            getsockname(Socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no listening socket";
        }
        Port_ = ntohs(address.sin_port);
        Thread_ = std::thread([this] { Serve(); });
    }
    ~TForeignListener() {
        Stop_ = true;
        Thread_.join();
        close(Socket_);
    }
    TForeignListener(const TForeignListener&) = delete;
    TForeignListener& operator=(const TForeignListener&) = delete;

    int Port() const { return Port_; }
    bool Spoken() const { return Spoken_; }

private:
    void Serve() {
        std::vector<int> clients;
        while (!Stop_) {
            std::vector<pollfd> fds{{Socket_, POLLIN, 0}};
            for (const int client : clients) {
                fds.push_back({client, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), 50) <= 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                clients.push_back(accept(Socket_, nullptr, nullptr));
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                char byte = 0;
                if ((fds[i].revents & POLLIN) && recv(fds[i].fd, &byte, 1, MSG_PEEK) > 0) {
                    Spoken_ = true;
                }
            }
        }
        for (const int client : clients) {
            close(client);
        }
    }

    int Socket_ = -1;
    int Port_ = 0;
    std::thread Thread_;
    std::atomic<bool> Stop_{false};
    std::atomic<bool> Spoken_{false};
};

// Runs the script, with `environment` (assignments) in front; returns its exit code and its
// standard error stream.
std::pair<int, std::string> RunScript(const std::string& arguments,
                                      const std::string& environment = "") {
    const std::string command =
        environment + "bash " + FIREBIRD_SERVER_SCRIPT + " " + arguments + " 2>&1 >/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(FirebirdServerScript, RefusesAPortThatAnotherProgramServes) {
    TTempFolder folder;
    const std::string instance = (folder.Path() / "instance").string();
    TForeignListener listener;
    const auto [code, errors] =
        RunScript("start " + instance + " " + std::to_string(listener.Port()) + " secret 10");
    EXPECT_NE(code, 0);
    EXPECT_NE(errors.find("port " + std::to_string(listener.Port()) +
                          " is already served by a program that is not ours"),
              std::string::npos)
        << errors;
    EXPECT_FALSE(listener.Spoken()) << "the script spoke to a server that is not its own";
    // Nothing was started, so there is nothing to stop.
    EXPECT_FALSE(std::filesystem::exists(instance + "/server.pid"));
    EXPECT_EQ(RunScript("stop " + instance).first, 0);
}

// A server version that the script does not know is refused before anything is made.
TEST(FirebirdServerScript, RefusesAServerVersionItDoesNotKnow) {
    TTempFolder folder;
    const std::string instance = (folder.Path() / "instance").string();
    const auto [code, errors] =
        RunScript("start " + instance + " 1 secret 10", "UPDATER_TEST_FIREBIRD=5 ");
    EXPECT_EQ(code, 2);
    EXPECT_NE(errors.find("UPDATER_TEST_FIREBIRD=5: only 3 and 4 are known"), std::string::npos)
        << errors;
    EXPECT_FALSE(std::filesystem::exists(instance));
}

} // namespace
