// The one way the core speaks to the operator: boxes, the update question, the script log pane
// and the points where the user interface may process its event queue. The window implements it
// with real boxes; tests implement it with a recorder.
#pragma once

#include <string>

class TOperator {
public:
    virtual ~TOperator() = default;

    // An information box with OK; returns when it is closed.
    virtual void ShowInformation(const std::string& text) = 0;
    // An error box with OK; returns when it is closed.
    virtual void ShowError(const std::string& text) = 0;
    // A Yes/No question with No focused; true only for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    // The log pane: remove every line; add one line at the end and show it.
    virtual void LogClear() = 0;
    virtual void LogAppend(const std::string& line) = 0;

    // Lets the user interface handle what is queued (painting, the log pane's scrolling).
    virtual void ProcessEvents() = 0;
};
