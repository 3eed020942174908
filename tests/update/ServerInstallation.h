// The installation with both parts that the server update tests start from, and the release-4
// payload they update it with. Needs UPDATER_MAKE_RELEASE3, UPDATER_QUV_UDF and the server.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"

// The boxes of a run with both parts, as the operator reads them.
inline const std::string kBothParts =
    "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, что на "
    "данном компьютере установлены КЛИЕНТСКАЯ и СЕРВЕРНАЯ части обновляемой программы.\r"
    "Продолжить обновление?";
inline const std::string kSuccess = "Обновление программы прошло успешно.\r\rТребуется "
                                    "ПЕРЕЗАГРУЗКА компьютера!!!";
inline const std::string kRollbackDone =
    "Процесс восстановления работоспособности программы (ОТКАТ) прошел успешно.";

// The sample database at release 3, made by the server in `database` (an empty one), with the
// sample's own script (a Linux script, run as such under Wine too).
inline void MakeRelease3(const firebird_test::TOwnDatabase& database) {
    const TCommandResult made =
        RunCommand("bash '" UPDATER_MAKE_RELEASE3 "' --existing '" +
                   firebird_test::HostDatabaseString(database.DatabaseString()) + "' '" +
                   firebird_test::SysdbaPassword + "' >/dev/null");
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
}

// `path` in UTF-8, whatever the system's narrow code page (a root may have any letters).
inline std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Release 3 under `root`: client stand-ins in Program, the sample database in DB_Data.
inline std::unique_ptr<firebird_test::TOwnDatabase>
LayOutRelease3(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "Program");
    std::filesystem::create_directories(root / "DB_Data");
    firebird_test::LetTheServerChange(Utf8Path(root));
    std::ofstream(root / "Program/Kormant.exe") << "client release 3";
    std::ofstream(root / "Program/Kormant.chm") << "help release 3";
    auto database =
        std::make_unique<firebird_test::TOwnDatabase>(Utf8Path(root / "DB_Data" / "Kormant.fdb"));
    MakeRelease3(*database);
    return database;
}

// A payload carrier with `script` and a package of release-4 stand-ins and the real function
// library, made in `temp`.
inline std::string Release4Carrier(const TTempFolder& temp, const std::string& script) {
    const auto exe = temp.MakeFile("release4/Kormant.exe", "client release 4");
    const auto chm = temp.MakeFile("release4/Kormant.chm", "help release 4");
    const auto udf = temp.Path() / "release4/QUV_UDF.dll";
    // Removed first: MinGW's copy_file refuses to overwrite an existing file.
    std::filesystem::remove(udf);
    std::filesystem::copy_file(UPDATER_QUV_UDF, udf);
    const auto package = BuildTestPackage(temp.Path() / "files.exe", {exe, chm, udf});
    return MakeTestCarrier(temp.Path() / "carrier", package, script);
}
