#include "scriptengine/ScriptRunner.h"

#include "scriptengine/EngineFault.h"
#include "scriptengine/ScriptCommand.h"
#include "scriptengine/ScriptLexer.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace scriptengine {

namespace {

// One statement of the script as the split found it. A script command is parsed once, during
// the split, since SET TERM must take effect there already.
struct TStep {
    std::string_view Text;
    std::size_t Line = 0;
    std::optional<script::TScriptCommand> Command;
    // For a statement that goes to the server: its kind where the words tell it.
    script::TServerStatement Known = script::TServerStatement::Unknown;
    // A malformed script command or the incomplete end of the script: the step fails with it.
    std::string Failure;
};

std::string IncompleteText(const script::TIncomplete& incomplete, std::string_view terminator) {
    const std::string line = std::to_string(incomplete.Line);
    switch (incomplete.What) {
    case script::TIncomplete::TWhat::StringLiteral:
        return "Unterminated string literal: the quote opened at line " + line + " is never closed";
    case script::TIncomplete::TWhat::DelimitedIdentifier:
        return "Unterminated delimited identifier: the double quote opened at line " + line +
               " is never closed";
    case script::TIncomplete::TWhat::BlockComment:
        return "Unterminated comment: the \"/*\" at line " + line + " is never closed";
    case script::TIncomplete::TWhat::Statement:
        break;
    }
    return "Unterminated statement: the statement at line " + line +
           " is not ended by the terminator \"" + std::string(terminator) + "\"";
}

std::vector<TStep> Split(std::string_view script) {
    std::vector<TStep> steps;
    script::TScriptLexer lexer(script);
    for (;;) {
        const script::TLexResult result = lexer.NextStatement();
        if (const auto* piece = std::get_if<script::TPiece>(&result)) {
            TStep step{piece->Text, piece->Line, std::nullopt, {}, {}};
            step.Command = script::ParseScriptCommand(piece->Text, &step.Failure);
            if (!step.Command && step.Failure.empty()) {
                step.Known = script::ClassifyServerStatement(piece->Text);
            }
            if (step.Command) {
                if (const auto* setTerm = std::get_if<script::TSetTerm>(&*step.Command)) {
                    lexer.SetTerminator(setTerm->Terminator);
                }
            }
            steps.push_back(std::move(step));
        } else if (const auto* incomplete = std::get_if<script::TIncomplete>(&result)) {
            steps.push_back({incomplete->Text, incomplete->Line, std::nullopt,
                             script::TServerStatement::Unknown,
                             IncompleteText(*incomplete, lexer.Terminator())});
            break;
        } else {
            break;
        }
    }
    return steps;
}

std::string_view FirstLine(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    text = text.substr(0, end);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string Seconds(std::chrono::steady_clock::duration duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(duration).count());
    return text;
}

class TRun {
public:
    TRun(TEngineSession& session, const TRunCallbacks& callbacks)
        : Session_(session), Callbacks_(callbacks), Dialect_(session.Params().SqlDialect) {}

    void Log(const std::string& line) const {
        if (Callbacks_.OnLogLine != nullptr) {
            Callbacks_.OnLogLine(0, line.c_str());
        }
    }

    void ReportFailure(std::string_view statement, const std::string& error) const {
        if (Callbacks_.OnStatementError != nullptr) {
            Callbacks_.OnStatementError(std::string(statement).c_str(), error.c_str());
        }
    }

    // Runs one step; false with `error` set when it fails.
    bool Run(const TStep& step, std::string* error) {
        if (!step.Failure.empty()) {
            *error = step.Failure;
            return false;
        }
        if (!step.Command) {
            return Session_.Execute(step.Text, step.Known, AutoDdl_, Dialect_, error);
        }
        return std::visit([&](const auto& command) { return RunCommand(command, error); },
                          *step.Command);
    }

private:
    // The lexer took the new terminator during the split already.
    bool RunCommand(const script::TSetTerm&, std::string*) { return true; }

    bool RunCommand(const script::TSetNames& command, std::string* error) {
        const std::string& current = Session_.Params().CharacterSet;
        // Both branches as views: a ternary of a literal and a string would make a temporary
        // string.
        const std::string_view currentName =
            current.empty() ? std::string_view("NONE") : std::string_view(current);
        if (SameIgnoringAsciiCase(command.CharacterSet, currentName)) {
            return true;
        }
        *error = "SET NAMES " + command.CharacterSet +
                 " asks for another character set than the connection's (" +
                 std::string(currentName) +
                 "); the engine does not change the character set of its connection";
        return false;
    }

    bool RunCommand(const script::TSetSqlDialect& command, std::string* error) {
        if (command.Dialect < 1 || command.Dialect > 3) {
            *error = "SET SQL DIALECT " + std::to_string(command.Dialect) +
                     ": the dialect must be 1, 2 or 3";
            return false;
        }
        // The statements after it are prepared in this dialect, and a RECONNECT attaches with it.
        Dialect_ = command.Dialect;
        Session_.Params().SqlDialect = command.Dialect;
        return true;
    }

    bool RunCommand(const script::TSetAutoDdl& command, std::string*) {
        AutoDdl_ = command.On;
        return true;
    }

    bool RunCommand(const script::TReconnect&, std::string* error) {
        const TConnectParams params = Session_.Params();
        return Session_.Close(error) && Session_.Attach(params, error);
    }

    bool RunCommand(const script::TCommit&, std::string* error) { return Session_.Commit(error); }

    TEngineSession& Session_;
    const TRunCallbacks& Callbacks_;
    int Dialect_;
    // On at the start, as in isql.
    bool AutoDdl_ = true;
};

} // namespace

int RunScript(TEngineSession& session, std::string_view script, const TRunCallbacks& callbacks) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<TStep> steps = Split(script);
    const std::string total = std::to_string(steps.size());
    TRun run(session, callbacks);

    std::string error;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        run.Log(number + "/" + total + " " + std::string(FirstLine(steps[i].Text)));
        if (i == 1) {
            // After the first statement: its transaction is open.
            FaultPoint("Exec");
        }
        if (!run.Run(steps[i], &error)) {
            session.Abandon();
            run.ReportFailure(steps[i].Text, error);
            run.Log("Stopped at statement " + number + "/" + total + " after " +
                    Seconds(std::chrono::steady_clock::now() - start) +
                    " s; what was not committed is rolled back");
            return 1;
        }
    }
    if (!session.Close(&error)) {
        run.ReportFailure("COMMIT", error);
        run.Log("Stopped at the final commit after " +
                Seconds(std::chrono::steady_clock::now() - start) + " s");
        return 1;
    }
    run.Log("Done: " + total + " statements in " +
            Seconds(std::chrono::steady_clock::now() - start) + " s");
    return 0;
}

} // namespace scriptengine
