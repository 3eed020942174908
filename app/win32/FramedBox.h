// The program's framed boxes (information, error, the Yes/No question) as a dialog of their own,
// and the system's box that presents a failure.
#pragma once

#include <string>

#include "app/WindowLogic.h"
#include "platform/win32/WindowsSupport.h"

namespace win32ui {

// The identifiers of the box's icon and message; its buttons are kFirstBoxButtonId and on, in
// the order of the request's Buttons.
inline constexpr int kBoxIconId = 20;
inline constexpr int kBoxMessageId = 21;
inline constexpr int kFirstBoxButtonId = 100;

// Shows `box` modal over `owner` (disabled meanwhile) and returns the result of the button that
// was pressed, or mrClosed when the box was closed by its title bar.
int ShowFramedBox(HWND owner, const TBoxRequest& box);

// The system's message box with the stop icon and OK.
void ShowSystemFailureBox(HWND owner, const std::string& caption, const std::string& text);

// A failure that no command's handling presents (at start-up, or escaping the window's message
// handling): the program has no console, so its text goes to the standard error stream and to
// the system's failure box over `owner` (nullptr: a box of its own), captioned with the
// application title, the period rule applied.
void ReportFailure(HWND owner, const std::string& message);

} // namespace win32ui
