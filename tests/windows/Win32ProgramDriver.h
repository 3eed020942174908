// Updater.exe run as a program of its own and driven from outside, as an operator drives it: the
// root folder and the password typed into its fields, Start pressed, every box it opens read and
// answered by pressing one of its buttons, its window closed, its end awaited. Every wait has a
// limit, so a program that misbehaves fails a test and never hangs it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/windows/Win32BoxAnswerer.h"

struct TProgramRun {
    // The boxes in the order they appeared, each read before it was answered.
    std::vector<TSeenBox> Boxes;
    // Boxes that appeared with no answer left; each was closed by its title bar.
    int Unexpected = 0;
    // The log pane's text once the run had ended.
    std::string Log;
    // What went wrong with the driving itself (no window, a box that stayed, the time out, the
    // program that did not end); "" when nothing did.
    std::string Trouble;
    // The program's exit code when it ended in time.
    unsigned long ExitCode = 0;
};

// Starts `program` in its own folder, puts `root` and `password` into its fields, presses Start
// and answers the boxes with `answers` (the captions of the buttons to press, in the order the
// boxes come), waits until the run has ended (Start enabled again, no box open), closes the
// window with its Close button and waits for the program's end. Beyond `limitMs` from the start
// the program is ended by force and the trouble says so. `note` (may be empty) runs while each
// box is open, before it is answered; what it returns is the box's Note.
TProgramRun RunUpdaterProgram(const std::filesystem::path& program, const std::string& root,
                              const std::string& password, std::vector<std::string> answers,
                              unsigned long limitMs,
                              const std::function<std::string()>& note = nullptr);

// Runs `program` with `arguments` (no window, no console) and waits at most `limitMs` for its
// end; its exit code, 0xFFFFFFFF when it did not start, 0xFFFFFFFE when it did not end in time
// (it is ended then).
unsigned long RunToEnd(const std::string& program, const std::string& arguments,
                       unsigned long limitMs);

// The run as a failing test reports it: the trouble, the exit code and every box.
std::string Described(const TProgramRun& run);

// `text` as a box shows it: each lone CR a line break (CR LF).
std::string AsShown(std::string text);
