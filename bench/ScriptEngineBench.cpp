// Applies one update script through the engine library and through isql-fb -i, each on a fresh
// database, with forced writes on and off, several times, and prints per write mode the medians,
// the ratio engine/isql and the peak memory of each (the runs are child processes, measured by
// wait4). Within a round the engine and isql alternate at each write mode, and which of the two
// goes first changes from round to round, so that both see the same load of a shared machine.
//
//   bench_script_engine [--runs N] [--script FILE] [--password PW] [--folder DIR]
//                       [--prepare MAKE_SCRIPT] [--writes sync|async|both] [--udf LIBRARY]
//                       [--firebird SERVER_FOLDER] [--phase 1]
//
// Without --script a script of about 3,100 statements in the update script's repertoire is
// generated; the full-size update script comes from build/sample/generate-full-size. --prepare
// names a script run as `bash MAKE_SCRIPT --existing DBSTRING PASSWORD` on each fresh database
// before the timed run (sample/db/make-release3.sh, for the full-size update script, which needs
// a release-3 database), with asynchronous writes; the write mode of the run is set after it.
// --udf copies the function library that the full-size script declares into the udf folder of
// --firebird (the server's folder) as QUV_UDF.dll. --phase 1 times the engine's run as the
// update's script phase does it: asynchronous writes through the service manager, the script,
// forced writes again and the database file flushed (only with --writes sync). Needs the private
// server on localhost/3051.
#include "scriptengine/IBEScript.h"
#include "scriptengine/ScriptCommand.h"
#include "scriptengine/ScriptLexer.h"

#include "dbadmin/ServiceOperations.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string Server = "localhost/3051:";

struct TRun {
    double Seconds = 0;
    long PeakKb = 0;
    bool Ok = false;
};

// A script in the update script's frame and repertoire: windows-1251 text with CR LF, comments
// and literals holding terminators, SET TERM blocks, RECONNECT and COMMIT between the groups.
std::string GenerateScript() {
    const int tables = 20;
    const int procedures = 32;
    std::ostringstream s;
    const char* nl = "\r\n";
    s << "/* Generated update script" << nl << "   for the engine benchmark */" << nl;
    s << "SET NAMES WIN1251;" << nl << "SET SQL DIALECT 3;" << nl << "SET AUTODDL ON;" << nl
      << "RECONNECT;" << nl << nl;
    for (int t = 1; t <= tables; ++t) {
        s << "/* Create Table T_" << t << " */" << nl << "CREATE TABLE T_" << t << " (" << nl
          << "    ID INTEGER NOT NULL, /* \xea\xeb\xfe\xf7 */" << nl << "    NAME VARCHAR(100),"
          << nl << "    AMOUNT NUMERIC(15,2) DEFAULT 0," << nl << "    CREATED DATE" << nl << ");"
          << nl;
        s << "ALTER TABLE T_" << t << " ADD CONSTRAINT PK_T_" << t << " PRIMARY KEY (ID);" << nl;
        s << "COMMENT ON TABLE T_" << t << " IS '\xd2\xe0\xe1\xeb\xe8\xf6\xe0 " << t << "; -- x';"
          << nl;
    }
    for (int g = 1; g <= 4; ++g) {
        s << "CREATE GENERATOR G_" << g << ";" << nl;
    }
    for (int i = 0; i < 32; ++i) {
        const int t = i % tables + 1;
        s << "ALTER TABLE T_" << t << " ADD EXTRA_" << i << " INTEGER DEFAULT 0 NOT NULL;" << nl;
        if (i < 14) {
            s << "COMMENT ON COLUMN T_" << t << ".EXTRA_" << i << " IS '\xcf\xee\xeb\xe5 " << i
              << "';" << nl;
        }
    }
    s << "RECONNECT;" << nl << "SET TERM ^ ;" << nl;
    for (int p = 1; p <= procedures; ++p) {
        s << "CREATE PROCEDURE P_" << p << " (A INTEGER, B VARCHAR(40)) RETURNS (R INTEGER) AS"
          << nl << "BEGIN EXIT; END^" << nl;
    }
    for (int t = 1; t <= 12; ++t) {
        s << "CREATE TRIGGER TR_T_" << t << "_BI FOR T_" << t
          << " ACTIVE BEFORE INSERT POSITION 0 AS" << nl << "BEGIN" << nl
          << "  IF (NEW.ID IS NULL) THEN NEW.ID = GEN_ID(G_1, 1); /* ; */" << nl << "END^" << nl;
    }
    s << "SET TERM ; ^" << nl << "COMMIT;" << nl;
    for (int round = 0; round < 7; ++round) {
        s << "SET TERM ^ ;" << nl;
        for (int p = 1; p <= procedures && round * procedures + p <= 214; ++p) {
            const int t = (p + round) % tables + 1;
            s << "ALTER PROCEDURE P_" << p << " (A INTEGER, B VARCHAR(40)) RETURNS (R INTEGER) AS"
              << nl << "DECLARE VARIABLE V INTEGER;" << nl << "BEGIN" << nl
              << "  /* \xf1\xf3\xec\xec\xe0; \xef\xee \xf2\xe0\xe1\xeb\xe8\xf6\xe5 */" << nl
              << "  R = 0;" << nl << "  FOR SELECT ID FROM T_" << t << " WHERE ID > :A INTO :V DO"
              << nl << "  BEGIN" << nl
              << "    R = R + V; -- \xed\xe0\xea\xee\xef\xeb\xe5\xed\xe8\xe5" << nl
              << "    IF (B = 'a;b') THEN R = R + 1;" << nl << "  END" << nl << "  SUSPEND;" << nl
              << "END^" << nl;
        }
        s << "SET TERM ; ^" << nl;
    }
    s << "COMMIT;" << nl << "RECONNECT;" << nl;
    int id = 0;
    for (int group = 0; group < 9; ++group) {
        s << "/* Data group " << group << " */" << nl;
        for (int i = 0; i < 95; ++i) {
            const int t = (id % tables) + 1;
            ++id;
            s << "INSERT INTO T_" << t << " (ID, NAME, AMOUNT, CREATED) VALUES (" << id
              << ", '\xc8\xec\xff " << id << "; \xe7\xe0\xef\xe8\xf1\xfc -- ''" << id << "''', "
              << id << ".5, '2024-01-" << (id % 28 + 1) << "');" << nl;
        }
        for (int i = 0; i < 70; ++i) {
            s << "DELETE FROM T_" << (i % tables + 1) << " WHERE ID = " << (group * 95 + i * 3)
              << ";" << nl;
        }
        for (int i = 0; i < 8; ++i) {
            s << "UPDATE T_" << (i % tables + 1) << " SET AMOUNT = AMOUNT + 1 WHERE ID < "
              << (group * 95 + i * 10) << ";" << nl;
        }
        s << "SET GENERATOR G_" << (group % 4 + 1) << " TO " << id << ";" << nl;
        s << (group == 4 ? "commit work;" : "Commit;") << nl;
    }
    for (int i = 0; i < 168; ++i) {
        const char* columns[] = {"ID", "NAME", "AMOUNT", "CREATED"};
        s << "ALTER TABLE T_" << (i % tables + 1) << " ALTER COLUMN " << columns[i % 4]
          << " POSITION " << (i % 4 + 1) << ";" << nl;
    }
    s << "/* Create(Add) Crant */" << nl;
    const char* grantees[] = {"PUBLIC", "\"1C\"", "KORMANT_CLERK", "PROCEDURE P_1",
                              "TRIGGER TR_T_1_BI"};
    const char* rights[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "ALL"};
    for (int i = 0; i < 669; ++i) {
        if (i % 7 == 6) {
            s << "GRANT EXECUTE ON PROCEDURE P_" << (i % procedures + 1) << " TO "
              << grantees[i % 5] << ";" << nl;
        } else {
            s << "GRANT " << rights[i % 5] << " ON T_" << (i % tables + 1) << " TO "
              << grantees[(i / 5) % 5] << ";" << nl;
        }
    }
    s << "Commit;" << nl << "SET NAMES WIN1251;" << nl << "SET SQL DIALECT 3;" << nl
      << "SET AUTODDL ON;" << nl;
    for (int i = 0; i < 293; ++i) {
        s << "SET STATISTICS INDEX PK_T_" << (i % tables + 1) << ";" << nl;
    }
    s << "commit;" << nl << "/* the end */" << nl << nl;
    return s.str();
}

// The isql variant: isql has no RECONNECT, so each becomes a COMMIT and a CONNECT.
std::string IsqlVariant(const std::string& script, const std::string& connect) {
    script::TScriptLexer lexer(script);
    std::string out;
    bool dropNextTerminator = false;
    for (;;) {
        const auto result = lexer.Next();
        if (const auto* piece = std::get_if<script::TPiece>(&result)) {
            if (piece->Kind == script::TPieceKind::Statement) {
                const auto command = script::ParseScriptCommand(piece->Text);
                if (command && std::holds_alternative<script::TReconnect>(*command)) {
                    const std::string term(lexer.Terminator());
                    out += "COMMIT" + term + "\r\n" + connect + term;
                    dropNextTerminator = true;
                    continue;
                }
                if (command && std::holds_alternative<script::TSetTerm>(*command)) {
                    lexer.SetTerminator(std::get<script::TSetTerm>(*command).Terminator);
                }
            } else if (piece->Kind == script::TPieceKind::Terminator && dropNextTerminator) {
                dropNextTerminator = false;
                continue;
            }
            out += piece->Text;
        } else {
            break;
        }
    }
    return out;
}

int RunCommand(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool SetWrites(const std::string& path, const std::string& password, const char* mode) {
    return RunCommand({"gfix", "-write", mode, "-user", "SYSDBA", "-password", password,
                       Server + path}) == 0;
}

// A fresh database, its schema and data made by `prepare` (when given) with asynchronous writes,
// then the write mode `mode`.
bool CreateDatabase(const std::string& path, const std::string& password, const std::string& folder,
                    const std::string& prepare, const char* mode) {
    const std::string sql = folder + "/create.sql";
    std::ofstream(sql) << "CREATE DATABASE '" << Server << path << "' USER 'SYSDBA' PASSWORD '"
                       << password << "' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251;\n";
    return RunCommand({"isql-fb", "-q", "-i", sql}) == 0 && SetWrites(path, password, "async") &&
           (prepare.empty() ||
            RunCommand({"bash", prepare, "--existing", Server + path, password}) == 0) &&
           SetWrites(path, password, mode);
}

// Runs `child` in a child process; its time from fork to end and its peak resident size.
template <typename F> TRun Measure(F child) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(child());
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    TRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.PeakKb = usage.ru_maxrss;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int IBESCRIPT_CALL OnConnectError(const char* text) {
    std::fprintf(stderr, "connect error: %s\n", text);
    return 0;
}
int IBESCRIPT_CALL OnStatementError(const char* statement, const char* text) {
    std::fprintf(stderr, "statement failed: %s\n%s\n", statement, text);
    return 0;
}
int IBESCRIPT_CALL OnLogLine(int, const char*) {
    return 0;
}
int IBESCRIPT_CALL OnEngineQuery(int, int value) {
    return value == 1 ? 0 : 1;
}

int RunEngine(const std::string& database, const std::string& password, const std::string& script) {
    auto library = platform::TDynamicLibrary::Load(UPDATER_SCRIPT_ENGINE);
    const auto connect = reinterpret_cast<TConnect>(library.Find("Connect"));
    const auto exec = reinterpret_cast<TExecScriptText>(library.Find("ExecScriptText"));
    if (connect == nullptr || exec == nullptr) {
        return 2;
    }
    const std::string connectString = "db_name=" + database + "; password=" + password +
                                      "; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
                                      "sql_dialect=3; clientlib=\"fbclient.dll\"";
    if (connect(connectString.c_str(), OnConnectError) != 0) {
        return 3;
    }
    return exec(script.c_str(), OnStatementError, OnLogLine, OnEngineQuery) == 0 ? 0 : 4;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TSeries {
    std::vector<double> Engine, Isql;
    long EnginePeak = 0, IsqlPeak = 0;
};

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::string scriptFile;
    std::string password = "mirdelkoza";
    std::string folder = UPDATER_BENCH_SCRATCH;
    std::string prepare;
    std::string writes = "both";
    std::string udf;
    std::string firebird;
    bool phase = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--script") {
            scriptFile = argv[i + 1];
        } else if (option == "--password") {
            password = argv[i + 1];
        } else if (option == "--folder") {
            folder = argv[i + 1];
        } else if (option == "--prepare") {
            prepare = argv[i + 1];
        } else if (option == "--writes") {
            writes = argv[i + 1];
        } else if (option == "--udf") {
            udf = argv[i + 1];
        } else if (option == "--firebird") {
            firebird = argv[i + 1];
        } else if (option == "--phase") {
            phase = std::atoi(argv[i + 1]) != 0;
        }
    }
    std::vector<const char*> modes;
    if (writes == "sync" || writes == "both") {
        modes.push_back("sync");
    }
    if (writes == "async" || writes == "both") {
        modes.push_back("async");
    }
    if (modes.empty() || (phase && writes != "sync") || (!udf.empty() && firebird.empty())) {
        std::fprintf(stderr, "--writes is sync, async or both; --phase 1 needs --writes sync; "
                             "--udf needs --firebird\n");
        return 2;
    }
    std::filesystem::create_directories(folder);
    if (!udf.empty()) {
        // Under a temporary name first: the server may load the library while it is copied.
        const std::filesystem::path target =
            std::filesystem::path(firebird) / "udf" / "QUV_UDF.dll";
        const std::filesystem::path temporary = target.string() + ".copy";
        std::filesystem::copy_file(udf, temporary,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(temporary, target);
    }
    std::string script;
    if (scriptFile.empty()) {
        script = GenerateScript();
    } else {
        std::ifstream in(scriptFile, std::ios::binary);
        script.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t statements = 0;
    {
        script::TScriptLexer lexer(script);
        for (;;) {
            const auto result = lexer.NextStatement();
            const auto* piece = std::get_if<script::TPiece>(&result);
            if (piece == nullptr) {
                break;
            }
            ++statements;
            const auto command = script::ParseScriptCommand(piece->Text);
            if (command && std::holds_alternative<script::TSetTerm>(*command)) {
                lexer.SetTerminator(std::get<script::TSetTerm>(*command).Terminator);
            }
        }
    }

    std::vector<TSeries> series(modes.size());
    for (int r = 0; r < runs; ++r) {
        for (std::size_t m = 0; m < modes.size(); ++m) {
            for (int turn = 0; turn < 2; ++turn) {
                // Engine first in odd rounds, isql first in even ones.
                const bool engine = (turn == 0) == (r % 2 == 0);
                const std::string path = folder + "/bench-" + std::to_string(getpid()) + "-" +
                                         std::to_string(r) + "-" + modes[m] +
                                         (engine ? "-engine" : "-isql") + ".fdb";
                std::filesystem::remove(path);
                if (!CreateDatabase(path, password, folder, prepare, modes[m])) {
                    std::fprintf(stderr, "cannot create %s\n", path.c_str());
                    return 1;
                }
                TRun run;
                if (engine) {
                    run = Measure([&] {
                        if (!phase) {
                            return RunEngine(Server + path, password, script);
                        }
                        try {
                            SetForcedWrites("fbclient.dll", Server + path, "SYSDBA", password,
                                            false);
                            const int result = RunEngine(Server + path, password, script);
                            SetForcedWrites("fbclient.dll", Server + path, "SYSDBA", password,
                                            true);
                            return result == 0 && platform::FlushFile(path) ? result : 1;
                        } catch (const std::exception& failure) {
                            std::fprintf(stderr, "%s\n", failure.what());
                            return 1;
                        }
                    });
                    series[m].Engine.push_back(run.Seconds);
                    series[m].EnginePeak = std::max(series[m].EnginePeak, run.PeakKb);
                } else {
                    const std::string file = folder + "/isql-variant.sql";
                    std::ofstream(file, std::ios::binary)
                        << IsqlVariant(script, "CONNECT '" + Server + path +
                                                   "' USER 'SYSDBA' PASSWORD '" + password + "'");
                    run = Measure([&] {
                        // isql itself is the child, so that its own peak is measured.
                        std::freopen("/dev/null", "w", stdout);
                        const std::string database = Server + path;
                        const char* args[] = {"isql-fb",
                                              "-q",
                                              "-b",
                                              "-ch",
                                              "WIN1251",
                                              "-user",
                                              "SYSDBA",
                                              "-password",
                                              password.c_str(),
                                              database.c_str(),
                                              "-i",
                                              file.c_str(),
                                              nullptr};
                        execvp(args[0], const_cast<char* const*>(args));
                        return 127;
                    });
                    series[m].Isql.push_back(run.Seconds);
                    series[m].IsqlPeak = std::max(series[m].IsqlPeak, run.PeakKb);
                }
                std::printf("run %d %-5s %-6s %8.3f s  peak %ld KB  %s\n", r + 1, modes[m],
                            engine ? "engine" : "isql", run.Seconds, run.PeakKb,
                            run.Ok ? "ok" : "FAILED");
                std::fflush(stdout);
                std::filesystem::remove(path);
                if (!run.Ok) {
                    return 1;
                }
            }
        }
    }
    std::printf("script: %zu bytes, %zu statements, %d runs each\n", script.size(), statements,
                runs);
    if (phase) {
        std::printf("engine timed as the script phase: asynchronous writes, script, forced "
                    "writes, flush of the database file\n");
    }
    for (std::size_t m = 0; m < modes.size(); ++m) {
        const double engine = Median(series[m].Engine);
        const double isql = Median(series[m].Isql);
        std::printf("forced writes %-3s: median engine %.3f s, isql-fb -i %.3f s, ratio "
                    "engine/isql %.2f\n",
                    std::string(modes[m]) == "sync" ? "on" : "off", engine, isql, engine / isql);
        std::printf("  peak memory: engine process %ld KB, isql-fb process %ld KB\n",
                    series[m].EnginePeak, series[m].IsqlPeak);
    }
    return 0;
}
