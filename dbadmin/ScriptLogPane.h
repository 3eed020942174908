// What the script application writes to: the log pane of the main window and the point where
// the user interface may handle what is queued. The operator interface of the update workflow
// extends it.
#pragma once

#include <string>

class TScriptLogPane {
public:
    virtual ~TScriptLogPane() = default;

    // Removes every line.
    virtual void LogClear() = 0;
    // Adds one line at the end and shows it.
    virtual void LogAppend(const std::string& line) = 0;
    // Lets the user interface handle what is queued (painting, the log pane's scrolling).
    virtual void ProcessEvents() = 0;
};
