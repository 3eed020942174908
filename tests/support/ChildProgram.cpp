// A small program that tests start as a real child process. What it does is chosen by its
// arguments:
//   report FILE        writes its current folder and then each argument, one per line, to FILE
//   exit N             ends with exit code N
//   hold FILE PIDFILE  opens FILE, writes its process id to PIDFILE and waits until killed
//   wait PIDFILE       writes its process id to PIDFILE and waits until killed
//   in FOLDER PIDFILE  makes FOLDER its current folder, writes its process id, waits
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void WritePid(const char* file) {
    // Written under another name first, so that a reader never sees a partial number.
    const std::string partial = std::string(file) + ".partial";
    std::ofstream(partial) << getpid() << '\n';
    std::rename(partial.c_str(), file);
}

[[noreturn]] void WaitForEver() {
    for (;;) {
        pause();
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "report" && argc > 2) {
        char folder[4096] = {};
        std::ofstream out(argv[2]);
        out << (getcwd(folder, sizeof folder) ? folder : "?") << '\n';
        for (int i = 0; i < argc; ++i) {
            out << argv[i] << '\n';
        }
        return 0;
    }
    if (mode == "exit" && argc > 2) {
        return std::atoi(argv[2]);
    }
    if (mode == "hold" && argc > 3) {
        std::FILE* held = std::fopen(argv[2], "rb");
        if (held == nullptr) {
            return 3;
        }
        WritePid(argv[3]);
        WaitForEver();
    }
    if (mode == "wait" && argc > 2) {
        WritePid(argv[2]);
        WaitForEver();
    }
    if (mode == "in" && argc > 3) {
        if (chdir(argv[2]) != 0) {
            return 3;
        }
        WritePid(argv[3]);
        WaitForEver();
    }
    return 100;
}
