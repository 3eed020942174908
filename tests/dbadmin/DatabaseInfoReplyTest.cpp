// The walk through an isc_info_user_names reply, whole and damaged, and the removal of the
// program's own entry from the names it found.
#include "connectivity/service/TIBFBDatabaseInfo.h"
#include "dbadmin/AttachedUsers.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// One clump: item 53, two length bytes that the walk does not read, the name's length, the name.
std::string Clump(const std::string& name, char lengthLow = 0, char lengthHigh = 0) {
    return std::string{53, lengthLow, lengthHigh, static_cast<char>(name.size())} + name;
}

using Names = std::vector<std::string>;

// A reply of exactly `bytes`, on the heap with nothing after it, so that a read past its end is
// caught by the address sanitizer of the CI build.
Names Parse(const std::string& bytes) {
    const auto copy = std::make_unique<char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return ParseUserNames(std::string_view(copy.get(), bytes.size()));
}

TEST(DatabaseInfoReply, WholeRepliesGiveEveryNameInOrder) {
    struct TRow {
        const char* Name;
        std::string Reply;
        Names Expected;
    };
    const std::string longName(255, 'N');
    const TRow rows[] = {
        {"end mark first", "\x01", {}},
        {"empty reply", "", {}},
        {"one name", Clump("SYSDBA") + "\x01", {"SYSDBA"}},
        {"own user twice",
         Clump("SYSDBA") + Clump("OTHER") + Clump("SYSDBA") + "\x01",
         {"SYSDBA", "OTHER", "SYSDBA"}},
        {"names before the truncation mark",
         Clump("A") + Clump("B") + "\x02" + Clump("C"),
         {"A", "B"}},
        {"the clump length is not read",
         Clump("A", 99, 99) + Clump("B", 0, 0x7F) + "\x01",
         {"A", "B"}},
        {"a name ends at its first NUL",
         Clump(std::string("AB\0CD", 5)) + Clump("E") + "\x01",
         {"AB", "E"}},
        {"empty name", Clump("") + Clump("X") + "\x01", {"", "X"}},
        {"longest name", Clump(longName) + "\x01", {longName}},
        {"another item code ends the walk", Clump("A") + "\x36" + Clump("B"), {"A"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Parse(row.Reply), row.Expected);
    }
}

TEST(DatabaseInfoReply, DamagedRepliesEndAtTheBufferKeepingTheWholeNames) {
    // A full reply buffer of clumps and no end mark: 20,480 = 2,048 clumps of a 6-byte name.
    std::string full;
    while (full.size() < UserNamesReplySize) {
        full += Clump("SYSDBA");
    }
    ASSERT_EQ(full.size(), UserNamesReplySize);
    // The same buffer with its last clump cut one byte short.
    const std::string cutName = full.substr(0, full.size() - 1);

    struct TRow {
        const char* Name;
        std::string Reply;
        std::size_t Count;
        Names First;
    };
    const TRow rows[] = {
        {"full buffer without end mark", full, 2048, {"SYSDBA"}},
        {"last name cut by the end", cutName, 2047, {"SYSDBA"}},
        {"name length running past the end",
         Clump("A") + std::string{53, 0, 0, 100} + "xyz",
         1,
         {"A"}},
        {"length byte cut off", Clump("A") + std::string{53, 0, 0}, 1, {"A"}},
        {"header cut after the item code", Clump("A") + Clump("B") + "\x35", 2, {"A", "B"}},
        {"lone item code", "\x35", 0, {}},
        {"length 255 with nothing after it", std::string{53, 0, 0, '\xFF'}, 0, {}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const Names names = Parse(row.Reply);
        EXPECT_EQ(names.size(), row.Count);
        EXPECT_EQ(Names(names.begin(), names.begin() + std::min(names.size(), row.First.size())),
                  row.First);
    }
}

TEST(DatabaseInfoReply, OwnEntryIsTheFirstEqualNameWithoutRegardToCase) {
    struct TRow {
        const char* Name;
        Names Before;
        const char* User;
        Names After;
    };
    const TRow rows[] = {
        {"only the own attachment", {"SYSDBA"}, "SYSDBA", {}},
        {"own user attached elsewhere too", {"SYSDBA", "SYSDBA"}, "SYSDBA", {"SYSDBA"}},
        {"first match only",
         {"OTHER", "SYSDBA", "x", "SYSDBA"},
         "SYSDBA",
         {"OTHER", "x", "SYSDBA"}},
        {"another letter case", {"OTHER", "SYSDBA"}, "sysdba", {"OTHER"}},
        {"reply in small letters", {"sysdba", "SYSDBA"}, "SysDba", {"SYSDBA"}},
        {"Cyrillic letters", {"ОПЕРАТОР", "Ёлка"}, "оператор", {"Ёлка"}},
        {"Cyrillic Ё", {"ЁЛКА"}, "ёлка", {}},
        {"blanks are not trimmed", {"SYSDBA "}, "SYSDBA", {"SYSDBA "}},
        {"a longer name is another name", {"SYSDBA2"}, "SYSDBA", {"SYSDBA2"}},
        {"no clumps at all", {}, "SYSDBA", {}},
        {"Latin and Cyrillic look-alikes differ", {"СИСДБА"}, "SYSDBA", {"СИСДБА"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        Names list = row.Before;
        RemoveOwnEntry(list, row.User);
        EXPECT_EQ(list, row.After);
    }
}

} // namespace
