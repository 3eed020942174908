// Starting the test child program (ChildProgram.cpp) in the background and ending it by its id.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The path of the child program.
std::string ChildProgramPath();

// A running child program, killed and reaped when the object goes.
class TBackgroundChild {
public:
    // Starts the child (or a copy of it at `program`) with `arguments` and waits until it has
    // written its id to `pidFile`.
    TBackgroundChild(const std::vector<std::string>& arguments, const std::string& pidFile,
                     const std::string& program = ChildProgramPath());
    ~TBackgroundChild();
    TBackgroundChild(const TBackgroundChild&) = delete;
    TBackgroundChild& operator=(const TBackgroundChild&) = delete;

    pid_t Pid() const { return Pid_; }
    bool Ready() const { return Ready_; }

private:
    pid_t Pid_ = -1;
    bool Ready_ = false;
};

// Reads a process id written by the child; -1 while the file is not there.
pid_t ReadPidFile(const std::string& pidFile);
