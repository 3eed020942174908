// The script lexer on real fragments of update scripts: where statements end, what lies between
// them, what stays open at the end. Every case also checks that the pieces give the script back.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scriptengine/ScriptLexer.h"

namespace {

using script::TEnd;
using script::TIncomplete;
using script::TPiece;
using script::TPieceKind;
using script::TScriptLexer;

struct TLexed {
    std::vector<TPiece> Pieces;
    std::optional<TIncomplete> Rest;
};

// All pieces up to the end; the pieces and the incomplete rest must join into the script.
TLexed LexAll(std::string_view script, std::string_view terminator = ";") {
    TScriptLexer lexer(script, terminator);
    TLexed lexed;
    std::string joined;
    for (;;) {
        const auto result = lexer.Next();
        if (const auto* piece = std::get_if<TPiece>(&result)) {
            EXPECT_EQ(piece->Offset, joined.size());
            EXPECT_EQ(piece->Text.data(), script.data() + piece->Offset) << "a copy, not a view";
            joined += piece->Text;
            lexed.Pieces.push_back(*piece);
        } else if (const auto* rest = std::get_if<TIncomplete>(&result)) {
            EXPECT_EQ(rest->Offset, joined.size());
            joined += rest->Text;
            lexed.Rest = *rest;
        } else {
            break;
        }
    }
    EXPECT_EQ(joined, script);
    EXPECT_TRUE(std::holds_alternative<TEnd>(lexer.Next()));
    return lexed;
}

std::vector<std::string> StatementsOf(const TLexed& lexed) {
    std::vector<std::string> statements;
    for (const auto& piece : lexed.Pieces) {
        if (piece.Kind == TPieceKind::Statement) {
            statements.emplace_back(piece.Text);
        }
    }
    return statements;
}

struct TStatementCase {
    const char* Name;
    std::string Script;
    std::string Terminator;
    std::vector<std::string> Statements;
};

class StatementEnds : public ::testing::TestWithParam<TStatementCase> {};

TEST_P(StatementEnds, AtTheTerminatorOnlyOutsideLiteralsIdentifiersAndComments) {
    const auto& param = GetParam();
    const TLexed lexed = LexAll(param.Script, param.Terminator);
    EXPECT_FALSE(lexed.Rest.has_value());
    EXPECT_EQ(StatementsOf(lexed), param.Statements);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fragments, StatementEnds, ::testing::Values(
    TStatementCase{"SemicolonsInAProcedureBody",
        "CREATE PROCEDURE P_EMPTY\r\nAS\r\nBEGIN EXIT; END\r\n^\r\n"
        "ALTER PROCEDURE P_SUM (A INTEGER)\r\nRETURNS (S INTEGER)\r\nAS\r\n"
        "BEGIN\r\n  S = A + 1;\r\n  SUSPEND;\r\nEND\r\n^\r\n",
        "^",
        {"CREATE PROCEDURE P_EMPTY\r\nAS\r\nBEGIN EXIT; END\r\n",
         "ALTER PROCEDURE P_SUM (A INTEGER)\r\nRETURNS (S INTEGER)\r\nAS\r\n"
         "BEGIN\r\n  S = A + 1;\r\n  SUSPEND;\r\nEND\r\n"}},
    TStatementCase{"SemicolonAndDashesInALiteral",
        "insert into MSG (ID, TXT) values (1, 'one; two -- three');\r\n"
        "update MSG set TXT = '/* not a comment */' where ID = 1;",
        ";",
        {"insert into MSG (ID, TXT) values (1, 'one; two -- three')",
         "update MSG set TXT = '/* not a comment */' where ID = 1"}},
    TStatementCase{"DoubledQuotes",
        "insert into T values ('It''s; fine');insert into T values ('''');"
        "insert into T values ('');",
        ";",
        {"insert into T values ('It''s; fine')", "insert into T values ('''')",
         "insert into T values ('')"}},
    TStatementCase{"ALiteralOverLinesKeepsCrLf",
        "insert into NOTE values ('first line;\r\nsecond line\r\n');\r\n",
        ";",
        {"insert into NOTE values ('first line;\r\nsecond line\r\n')"}},
    TStatementCase{"CommentsInsideStay",
        "update T set A = 1 /* ; */ -- ; here\r\n where B = 2 ;",
        ";",
        {"update T set A = 1 /* ; */ -- ; here\r\n where B = 2 "}},
    TStatementCase{"TerminatorFollowedByBlanks",
        "commit;   \r\nRECONNECT;\t \r\n",
        ";",
        {"commit", "RECONNECT"}},
    TStatementCase{"DelimitedIdentifiers",
        "GRANT SELECT ON T TO \"1C\";GRANT SELECT ON \"A;B\"\"C\" TO PUBLIC;",
        ";",
        {"GRANT SELECT ON T TO \"1C\"", "GRANT SELECT ON \"A;B\"\"C\" TO PUBLIC"}},
    TStatementCase{"MultiCharacterTerminator",
        "select '!!' from X ! where 1 = 1!!\r\nselect 2 from Y!!",
        "!!",
        {"select '!!' from X ! where 1 = 1", "select 2 from Y"}},
    TStatementCase{"Windows1251BytesInCommentsAndLiterals",
        "/* \xD1\xEF\xF0\xE0\xE2\xEA\xE0 */\r\ninsert into T values ('\xC0\xE1\xE2;\xFF');"
        "comment on table T is '\xD2\xE0\xE1\xEB\xE8\xF6\xE0' /* \xE0;\xB8 */;",
        ";",
        {"insert into T values ('\xC0\xE1\xE2;\xFF')",
         "comment on table T is '\xD2\xE0\xE1\xEB\xE8\xF6\xE0' /* \xE0;\xB8 */"}},
    TStatementCase{"ADashOrSlashAloneIsNoComment",
        "update T set A = B - 1 / 2 -1;select 1 from R;",
        ";",
        {"update T set A = B - 1 / 2 -1", "select 1 from R"}},
    TStatementCase{"AZeroByteInsideIsKept",
        std::string("insert into T values (1)\0 ;", 27),
        ";",
        {std::string("insert into T values (1)\0 ", 26)}}
), [](const auto& info) { return info.param.Name; });
// clang-format on

struct TPiecesCase {
    const char* Name;
    std::string Script;
    std::vector<std::pair<TPieceKind, std::string>> Pieces;
};

class PiecesBetweenStatements : public ::testing::TestWithParam<TPiecesCase> {};

TEST_P(PiecesBetweenStatements, BelongToNoStatement) {
    const TLexed lexed = LexAll(GetParam().Script);
    std::vector<std::pair<TPieceKind, std::string>> pieces;
    for (const auto& piece : lexed.Pieces) {
        pieces.emplace_back(piece.Kind, std::string(piece.Text));
    }
    EXPECT_EQ(pieces, GetParam().Pieces);
    EXPECT_FALSE(lexed.Rest.has_value());
}

constexpr auto kBlank = TPieceKind::Blank;
constexpr auto kComment = TPieceKind::Comment;
constexpr auto kStatement = TPieceKind::Statement;
constexpr auto kTerminator = TPieceKind::Terminator;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fragments, PiecesBetweenStatements, ::testing::Values(
    TPiecesCase{"SectionAndMarkerCommentsBeforeTheVersionCheck",
        "/* Server version: WI-T6.3.0.12654 Firebird 2.0\r\n   Page size: 8192. */\r\n"
        "SET NAMES WIN1251;\r\n\r\n/* Check version */\r\n-- >>> begin\r\n"
        "execute procedure Check_Versio(4);\r\n",
        {{kComment, "/* Server version: WI-T6.3.0.12654 Firebird 2.0\r\n   Page size: 8192. */"},
         {kBlank, "\r\n"}, {kStatement, "SET NAMES WIN1251"}, {kTerminator, ";"},
         {kBlank, "\r\n\r\n"}, {kComment, "/* Check version */"}, {kBlank, "\r\n"},
         {kComment, "-- >>> begin"}, {kBlank, "\r\n"},
         {kStatement, "execute procedure Check_Versio(4)"}, {kTerminator, ";"},
         {kBlank, "\r\n"}}},
    TPiecesCase{"ALineCommentOutsideHidesAStatement",
        "-- DROP TABLE OLD_T;\ncommit;",
        {{kComment, "-- DROP TABLE OLD_T;"}, {kBlank, "\n"}, {kStatement, "commit"},
         {kTerminator, ";"}}},
    TPiecesCase{"ATerminatorAloneIsAnEmptyStatement",
        "commit;;\r\n ;",
        {{kStatement, "commit"}, {kTerminator, ";"}, {kTerminator, ";"}, {kBlank, "\r\n "},
         {kTerminator, ";"}}},
    TPiecesCase{"ALineCommentAtTheEndWithoutLineEnd",
        "commit; -- the end",
        {{kStatement, "commit"}, {kTerminator, ";"}, {kBlank, " "},
         {kComment, "-- the end"}}},
    TPiecesCase{"AZeroByteBetweenStatementsIsBlank",
        std::string("commit;\0\r\ncommit;", 17),
        {{kStatement, "commit"}, {kTerminator, ";"}, {kBlank, std::string("\0\r\n", 3)},
         {kStatement, "commit"}, {kTerminator, ";"}}},
    TPiecesCase{"CommentsBackToBack",
        "/**//* a */--\r\n--b",
        {{kComment, "/**/"}, {kComment, "/* a */"}, {kComment, "--"}, {kBlank, "\r\n"},
         {kComment, "--b"}}}
), [](const auto& info) { return info.param.Name; });
// clang-format on

TEST(ScriptLexer, PiecesKnowTheirLines) {
    const TLexed lexed = LexAll("/* a\r\n b */\r\nselect 'x\r\ny'\r\nfrom T;\r\n\r\ncommit;");
    std::vector<std::pair<std::string, std::size_t>> lines;
    for (const auto& piece : lexed.Pieces) {
        lines.emplace_back(piece.Text, piece.Line);
    }
    const std::vector<std::pair<std::string, std::size_t>> expected{
        {"/* a\r\n b */", 1},
        {"\r\n", 2},
        {"select 'x\r\ny'\r\nfrom T", 3},
        {";", 5},
        {"\r\n\r\n", 5},
        {"commit", 7},
        {";", 7}};
    EXPECT_EQ(lines, expected);
}

struct TIncompleteCase {
    const char* Name;
    std::string Script;
    TIncomplete::TWhat What;
    std::string Rest;
    std::size_t ConstructOffset;
    std::size_t ConstructLine;
};

class IncompleteEnd : public ::testing::TestWithParam<TIncompleteCase> {};

TEST_P(IncompleteEnd, IsReturnedWithTheRestOfTheScript) {
    const auto& param = GetParam();
    const TLexed lexed = LexAll(param.Script);
    ASSERT_TRUE(lexed.Rest.has_value());
    EXPECT_EQ(lexed.Rest->What, param.What);
    EXPECT_EQ(lexed.Rest->Text, param.Rest);
    EXPECT_EQ(lexed.Rest->ConstructOffset, param.ConstructOffset);
    EXPECT_EQ(lexed.Rest->ConstructLine, param.ConstructLine);
}

using TWhat = TIncomplete::TWhat;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Fragments, IncompleteEnd, ::testing::Values(
    TIncompleteCase{"StatementWithoutTerminator", "commit;\r\nupdate Attrs set Versio = 4\r\n",
        TWhat::Statement, "update Attrs set Versio = 4\r\n", 9, 2},
    TIncompleteCase{"UnclosedLiteral", "commit;\r\ninsert into T values ('a;\r\nb);\r\n",
        TWhat::StringLiteral, "insert into T values ('a;\r\nb);\r\n", 31, 2},
    TIncompleteCase{"UnclosedLiteralEndingInADoubledQuote", "select 'it''",
        TWhat::StringLiteral, "select 'it''", 7, 1},
    TIncompleteCase{"UnclosedDelimitedIdentifier", "GRANT ALL ON T TO \"1C;",
        TWhat::DelimitedIdentifier, "GRANT ALL ON T TO \"1C;", 18, 1},
    TIncompleteCase{"UnclosedCommentBetweenStatements", "commit;\n/* end ;\n",
        TWhat::BlockComment, "/* end ;\n", 8, 2},
    TIncompleteCase{"UnclosedCommentInsideAStatement", "select 1\n/*/ from T;",
        TWhat::BlockComment, "select 1\n/*/ from T;", 9, 2},
    TIncompleteCase{"LineCommentAtTheEndOfAStatement", "select 1 -- ;",
        TWhat::Statement, "select 1 -- ;", 0, 1}
), [](const auto& info) { return info.param.Name; });
// clang-format on

TEST(ScriptLexer, OldTerminatorAfterSetTermWithTheCaretInForce) {
    // "SET TERM ^ ;" as the first statement: only with "^" in force would it end at "^"; with
    // ";" it ends at ";".
    TScriptLexer lexer("SET TERM ^ ;\nselect 1 from R;\n^");
    auto first = std::get<TPiece>(lexer.NextStatement());
    EXPECT_EQ(first.Text, "SET TERM ^ ");
    lexer.SetTerminator("^");
    auto second = std::get<TPiece>(lexer.NextStatement());
    EXPECT_EQ(second.Text, "select 1 from R;\n");
    EXPECT_TRUE(std::holds_alternative<TEnd>(lexer.NextStatement()));
}

TEST(ScriptLexer, ANewTerminatorLeavesTheFoundOneToItsStatement) {
    TScriptLexer lexer("SET TERM ^ ;\r\nCREATE TRIGGER T_BI FOR T AS BEGIN A = 1; END^");
    EXPECT_EQ(std::get<TPiece>(lexer.Next()).Text, "SET TERM ^ ");
    lexer.SetTerminator("^");
    const auto terminator = std::get<TPiece>(lexer.Next());
    EXPECT_EQ(terminator.Kind, TPieceKind::Terminator);
    EXPECT_EQ(terminator.Text, ";");
    EXPECT_EQ(lexer.Terminator(), "^");
    EXPECT_EQ(std::get<TPiece>(lexer.NextStatement()).Text,
              "CREATE TRIGGER T_BI FOR T AS BEGIN A = 1; END");
    EXPECT_EQ(lexer.Position(), 59u);
}

TEST(ScriptLexer, RefusesAnEmptyTerminatorOrOneWithABlank) {
    TScriptLexer lexer("select 1;");
    for (const std::string_view bad : {std::string_view(""), std::string_view("^ "),
                                       std::string_view("a\nb"), std::string_view("\0", 1)}) {
        EXPECT_THROW(lexer.SetTerminator(bad), std::invalid_argument);
    }
    EXPECT_EQ(lexer.Terminator(), ";");
}

TEST(ScriptLexer, NextStatementSkipsEverythingElse) {
    TScriptLexer lexer("/* a */ ;; -- b\r\n  commit ; /* c */ \r\n");
    EXPECT_EQ(std::get<TPiece>(lexer.NextStatement()).Text, "commit ");
    EXPECT_TRUE(std::holds_alternative<TEnd>(lexer.NextStatement()));
    EXPECT_TRUE(std::holds_alternative<TEnd>(TScriptLexer("").Next()));
}

} // namespace
