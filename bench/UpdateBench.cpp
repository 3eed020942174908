// The whole successful update of the sample installation (client and server part, the build's
// payload carried by this program), several times on fresh copies: the wall time from the Yes to
// the success box, median of the runs, with the single-user step's fixed 2,000 ms pause shown
// separately, and the script phase as the run's record times its steps (the switch to
// asynchronous writes, the script, forced writes again, the flush of the database file).
//
//   bench_update --firebird SERVER_FOLDER [--runs N] [--folder DIR] [--password PW]
//                [--script FILE]
//
// --script puts FILE (the full-size script of build/sample/generate-full-size, say) into the
// update's payload instead of the built one, and after each update applies the same script with
// `isql-fb -i` (its isql variant, sample/script/make-isql-variant.sh) to a fresh release-3
// database with forced writes on: the medians of the script phase and of isql, and their ratio.
//
// Needs a Firebird server on localhost/3051 whose folder (with its udf folder) is SERVER_FOLDER:
// `./demo.sh --prepare` starts one in build/demo-firebird. Run as root, so that the database
// folder can be given to the server's user and the access check sees every process.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "dbadmin/ScriptApplication.h"
#include "update/RunUpdate.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// Answers Yes and notes when it did and when the success box came.
class TTimingOperator : public TOperator {
public:
    TClock::time_point Yes;
    TClock::time_point Success;
    std::string Failure;

    bool AskYesNo(const std::string&) override {
        Yes = TClock::now();
        return true;
    }
    void ShowInformation(const std::string&) override { Success = TClock::now(); }
    void ShowError(const std::string& text) override { Failure = text; }
    void LogClear() override {}
    void LogAppend(const std::string&) override {}
    void ProcessEvents() override {}
};

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

// A fresh sample installation at release 3 under `root`.
void LayOut(const fs::path& root, const std::string& password) {
    fs::remove_all(root);
    fs::create_directories(root / "DB_Data");
    fs::copy(UPDATER_SAMPLE_INSTALLATION, root, fs::copy_options::recursive);
    if (const passwd* server = getpwnam("firebird"); server != nullptr && geteuid() == 0) {
        if (chown((root / "DB_Data").c_str(), server->pw_uid, server->pw_gid) != 0) {
            throw std::runtime_error("cannot give DB_Data to the server's user");
        }
    }
    Run("bash '" UPDATER_MAKE_RELEASE3 "' 'localhost/3051:" +
        (root / "DB_Data/Kormant.fdb").string() + "' '" + password + "' >/dev/null");
}

// A copy of this program that carries `script` (and the built package) as its payload.
fs::path MakeCarrier(const fs::path& folder, const std::string& script) {
    const fs::path carrier = folder / "carrier";
    Run("'" UPDATER_ATTACH_PAYLOAD "' --script '" + script +
        "' --package '" UPDATER_PAYLOAD_PACKAGE "' -o '" + carrier.string() + "' '" +
        fs::read_symlink("/proc/self/exe").string() + "'");
    return carrier;
}

// `script` through isql-fb -i on a fresh release-3 database under `root` with forced writes on
// (as a new database has them): the seconds of the isql run alone.
double TimeIsql(const fs::path& root, const std::string& password, const std::string& script) {
    fs::remove_all(root);
    fs::create_directories(root);
    if (const passwd* server = getpwnam("firebird"); server != nullptr && geteuid() == 0) {
        if (chown(root.c_str(), server->pw_uid, server->pw_gid) != 0) {
            throw std::runtime_error("cannot give the isql folder to the server's user");
        }
    }
    const std::string database = "localhost/3051:" + (root / "Kormant.fdb").string();
    Run("bash '" UPDATER_MAKE_RELEASE3 "' '" + database + "' '" + password + "' >/dev/null");
    Run("gfix -write sync -user SYSDBA -password '" + password + "' '" + database + "'");
    const fs::path variant = root / "update.isql.sql";
    Run("bash '" UPDATER_MAKE_ISQL_VARIANT "' '" + script + "' '" + variant.string() + "' '" +
        database + "' '" + password + "'");
    const auto start = TClock::now();
    Run("isql-fb -q -i '" + variant.string() + "' >/dev/null");
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    fs::remove_all(root);
    return seconds;
}

// The steps of the script phase, as the record names them.
const std::vector<std::string> kScriptPhase = {"asynchronous writes", "script", "forced writes",
                                               "flush of the database"};

// The seconds of each script-phase step that the run's record under `root` ended
// ("end <name> (<seconds> s...").
std::map<std::string, double> ScriptPhaseSteps(const fs::path& root) {
    std::map<std::string, double> steps;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() != "Updater.log") {
            continue;
        }
        std::ifstream record(entry.path());
        for (std::string line; std::getline(record, line);) {
            for (const std::string& name : kScriptPhase) {
                const std::string key = " end " + name + " (";
                const std::size_t at = line.find(key);
                if (at != std::string::npos) {
                    steps[name] = std::atof(line.c_str() + at + key.size());
                }
            }
        }
    }
    return steps;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string password = "mirdelkoza";
    std::string firebird;
    std::string script;
    fs::path folder = fs::current_path() / "bench-scratch" / "update";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--password") {
            password = argv[i + 1];
        } else if (option == "--folder") {
            folder = argv[i + 1];
        } else if (option == "--firebird") {
            firebird = argv[i + 1];
        } else if (option == "--script") {
            script = fs::absolute(argv[i + 1]).string();
        }
    }
    if (firebird.empty()) {
        std::fprintf(stderr,
                     "usage: %s --firebird SERVER_FOLDER [--runs N] [--folder DIR] "
                     "[--password PW] [--script FILE]\n",
                     argv[0]);
        return 2;
    }
    setenv("FIREBIRD", firebird.c_str(), 1);
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);

    std::vector<double> seconds;
    std::map<std::string, std::vector<double>> phaseSteps;
    std::vector<double> phase;
    std::vector<double> isql;
    try {
        TUpdateSeams seams;
        if (!script.empty()) {
            fs::create_directories(folder);
            seams.PayloadCarrier = MakeCarrier(folder, script).string();
        }
        for (int run = 0; run < runs; ++run) {
            const fs::path root = folder / ("Kormant-" + std::to_string(run));
            LayOut(root, password);
            TTimingOperator op;
            RunUpdate(root.string(), password, op, seams);
            if (!op.Failure.empty() || op.Success == TClock::time_point{}) {
                std::fprintf(stderr, "run %d did not succeed: %s\n", run, op.Failure.c_str());
                return 1;
            }
            seconds.push_back(std::chrono::duration<double>(op.Success - op.Yes).count());
            const auto steps = ScriptPhaseSteps(root);
            double total = 0;
            for (const std::string& name : kScriptPhase) {
                const auto step = steps.find(name);
                if (step != steps.end()) {
                    phaseSteps[name].push_back(step->second);
                    total += step->second;
                }
            }
            phase.push_back(total);
            std::printf("run %d: %.3f s, script phase %.3f s", run + 1, seconds.back(), total);
            if (!script.empty()) {
                // The update's server folder holds the function library by now.
                isql.push_back(TimeIsql(folder / "isql", password, script));
                std::printf(", isql-fb -i (forced writes) %.3f s", isql.back());
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    const double median = Median(seconds);
    std::printf("whole update, Yes to the success box, median of %d: %.3f s\n", runs, median);
    std::printf("  of which the fixed pause after the shutdown: 2.000 s\n");
    // The target is the built payload's (the sample installation's script).
    std::printf("  beyond the pause: %.3f s%s\n", median - 2.0,
                script.empty() ? " (target <= 2.5 s)" : "");
    std::printf("script phase, median of %d: %.3f s\n", runs, Median(phase));
    for (const std::string& name : kScriptPhase) {
        if (phaseSteps.count(name) != 0) {
            std::printf("  %s: %.3f s\n", name.c_str(), Median(phaseSteps[name]));
        }
    }
    if (!isql.empty()) {
        std::printf("isql-fb -i, same script, release-3 database with forced writes, median of "
                    "%d: %.3f s\n",
                    runs, Median(isql));
        std::printf("ratio script phase / isql-fb: %.2f (target <= 0.5)\n",
                    Median(phase) / Median(isql));
    }
    return 0;
}
