// The client-only installation that the Windows update tests start from.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/ClientOnlyRun.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

// Release 3 in `<temp>\Kormant` (a read-only help file, a Cyrillic report folder, an empty
// DB_Data) and the new files of release 4 in `<temp>\release4`.
struct TClientRelease3 {
    explicit TClientRelease3(const TTempFolder& temp) {
        Root = temp.MakeFolder("Kormant");
        temp.MakeFile("Kormant/Program/Kormant.exe", "client release 3");
        temp.MakeFile("Kormant/Program/Kormant.chm", "help release 3");
        temp.MakeFile("Kormant/Program/Отчёты/Счёт.frf", std::string(40000, 'r'));
        temp.MakeFolder("Kormant/DB_Data");
        std::filesystem::permissions(Root / "Program/Kormant.chm",
                                     std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        Before = SnapshotOf(Root / "Program");
        BeforeInDetail = DetailedSnapshotOf(Root / "Program");
        NewExe = temp.MakeFile("release4/Kormant.exe", "client release 4");
        NewChm = temp.MakeFile("release4/Kormant.chm", "help release 4");
        NewUdf = temp.MakeFile("release4/QUV_UDF.dll", "udf release 4");
    }

    std::filesystem::path Root;
    TTreeSnapshot Before;
    TTreeSnapshot BeforeInDetail;
    std::filesystem::path NewExe, NewChm, NewUdf;
};
