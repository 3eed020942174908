// The one way the core speaks to the operator: boxes, the update question, the script log pane
// and the points where the user interface may process its event queue. The window implements it
// with real boxes; tests implement it with a recorder.
#pragma once

#include <string>

#include "dbadmin/ScriptLogPane.h"

// The log pane and the event queue come from TScriptLogPane.
class TOperator : public TScriptLogPane {
public:
    // An information box with OK; returns when it is closed.
    virtual void ShowInformation(const std::string& text) = 0;
    // An error box with OK; returns when it is closed.
    virtual void ShowError(const std::string& text) = 0;
    // A Yes/No question with No focused; true only for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
};
