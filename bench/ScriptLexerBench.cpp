// The script lexer's speed on a generated update script of about 900 KB in the release script's
// form (windows-1251, CR LF, comments between and inside statements, literals with terminators
// and doubled quotes, SET TERM blocks with procedure bodies). Prints the median over several runs
// of the engine's loop (every statement through ParseScriptCommand, SET TERM applied) and of the
// lexer alone (the terminator changes replayed from the first pass).
//   bench_script_lexer [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scriptengine/ScriptCommand.h"
#include "scriptengine/ScriptLexer.h"

namespace {

std::string Generate(std::size_t size) {
    std::string s = "/* Server version: WI-T6.3.0.12654 Firebird 2.0 Release Candidate 2\r\n"
                    "   SQLDialect: 3. ODS: 11.0. Forced writes: On. Sweep inteval: 20000.\r\n"
                    "   Page size: 8192. Cache pages: 2048 (16384 Kb). Read-only: False. */\r\n"
                    "SET NAMES WIN1251;\r\nSET SQL DIALECT 3;\r\nSET AUTODDL ON;\r\nRECONNECT;\r\n"
                    "execute procedure Check_Versio(4);\r\ncommit;\r\nreconnect;\r\n";
    const std::string cyrillic = "\xD1\xEF\xF0\xE0\xE2\xEE\xF7\xED\xE8\xEA \xEA\xEB\xE8\xE5\xED"
                                 "\xF2\xEE\xE2";
    for (int group = 0; s.size() < size; ++group) {
        const std::string n = std::to_string(group);
        s += "\r\n/* Create(Add) Crant */\r\n";
        for (int i = 0; i < 8; ++i) {
            s += "GRANT SELECT, INSERT, UPDATE ON DOC_" + n + " TO \"1C\";\r\n";
        }
        s += "/* >>> change set " + n + " */\r\n";
        for (int i = 0; i < 12; ++i) {
            s += "INSERT INTO DOC_KIND (ID, NAME, NOTE) VALUES (" + std::to_string(group * 12 + i) +
                 ", '" + cyrillic + " " + n + "', 'It''s; -- not a comment');  \r\n";
        }
        s += "ALTER TABLE DOC_" + n + " ALTER COLUMN NOTE POSITION 3;\r\n";
        s += "UPDATE DOC SET NOTE = '" + cyrillic + ";\r\n" + cyrillic +
             "' /* two lines */ WHERE ID = " + n + ";\r\n";
        s += "SET STATISTICS INDEX PK_DOC_" + n + ";\r\ncommit;\r\n";
        s += "\r\nSET TERM ^ ;\r\n\r\n/* Alter Procedure... */\r\n";
        s += "ALTER PROCEDURE P_DOC_" + n +
             " (A INTEGER, B VARCHAR(40))\r\nRETURNS (S INTEGER)\r\nAS\r\n"
             "DECLARE VARIABLE X INTEGER;\r\nBEGIN\r\n"
             "  /* " +
             cyrillic +
             " */\r\n"
             "  X = 0; -- start\r\n"
             "  FOR SELECT ID FROM DOC WHERE NOTE <> ';' AND NAME = '^' INTO :S DO\r\n"
             "  BEGIN\r\n    X = X + S;\r\n    SUSPEND;\r\n  END\r\nEND\r\n^\r\n\r\n"
             "SET TERM ; ^\r\n";
    }
    return s + "update Attrs set Versio = 4;\r\ncommit;\r\n/* <<< end */\r\n";
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct TCount {
    std::size_t Pieces = 0;
    std::size_t Statements = 0;
};

// The engine's loop; records after which statement the terminator changed to what.
TCount EngineLoop(std::string_view script,
                  std::vector<std::pair<std::size_t, std::string>>* changes) {
    script::TScriptLexer lexer(script);
    TCount count;
    for (;;) {
        const auto result = lexer.Next();
        const auto* piece = std::get_if<script::TPiece>(&result);
        if (piece == nullptr) {
            return count;
        }
        ++count.Pieces;
        if (piece->Kind == script::TPieceKind::Statement) {
            ++count.Statements;
            const auto command = script::ParseScriptCommand(piece->Text);
            if (command && std::holds_alternative<script::TSetTerm>(*command)) {
                const auto& terminator = std::get<script::TSetTerm>(*command).Terminator;
                lexer.SetTerminator(terminator);
                if (changes != nullptr) {
                    changes->emplace_back(count.Statements, terminator);
                }
            }
        }
    }
}

TCount LexerAlone(std::string_view script,
                  const std::vector<std::pair<std::size_t, std::string>>& changes) {
    script::TScriptLexer lexer(script);
    TCount count;
    auto next = changes.begin();
    for (;;) {
        const auto result = lexer.Next();
        const auto* piece = std::get_if<script::TPiece>(&result);
        if (piece == nullptr) {
            return count;
        }
        ++count.Pieces;
        if (piece->Kind != script::TPieceKind::Statement) {
            continue;
        }
        ++count.Statements;
        if (next != changes.end() && next->first == count.Statements) {
            lexer.SetTerminator(next->second);
            ++next;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::string script = Generate(900 * 1000);
    const double megabytes = static_cast<double>(script.size()) / 1e6;

    std::vector<std::pair<std::size_t, std::string>> changes;
    const TCount reference = EngineLoop(script, &changes);

    std::vector<double> engine;
    std::vector<double> alone;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        const TCount withCommands = EngineLoop(script, nullptr);
        engine.push_back(Seconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        const TCount lexed = LexerAlone(script, changes);
        alone.push_back(Seconds(std::chrono::steady_clock::now() - start));
        if (withCommands.Pieces != reference.Pieces || lexed.Pieces != reference.Pieces ||
            lexed.Statements != reference.Statements) {
            std::fprintf(stderr, "the runs split the script differently\n");
            return 1;
        }
    }
    std::printf("script: %zu bytes, %zu statements, %zu pieces, %zu SET TERM; runs: %d\n",
                script.size(), reference.Statements, reference.Pieces, changes.size(), runs);
    std::printf("lexer with command parsing (the engine's loop): median %.3f ms, %.0f MB/s\n",
                Median(engine) * 1e3, megabytes / Median(engine));
    std::printf("lexer alone:                                    median %.3f ms, %.0f MB/s\n",
                Median(alone) * 1e3, megabytes / Median(alone));
    std::printf("target: >= 200 MB/s\n");
    return 0;
}
