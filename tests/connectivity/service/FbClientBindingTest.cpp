// The service layer's client binding with the real client library, with stand-in libraries that
// lack an entry point, and with status vectors built by hand for the line rules.
#include "connectivity/service/FbClientBinding.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <filesystem>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* Text1 = "InterBase library gds32.dll not found in the path. Please install "
                              "InterBase to use this functionality";

// The status vector of one failure: each line a message of its own, through the client's
// generic "@1" message, so that the client interprets it to exactly that text.
void FillStatusVector(const std::vector<const char*>& lines, ISC_STATUS first = isc_random) {
    ISC_STATUS* status = StatusVector();
    std::size_t i = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        status[i++] = isc_arg_gds;
        status[i++] = n == 0 ? first : isc_random;
        status[i++] = isc_arg_string;
        status[i++] = reinterpret_cast<ISC_STATUS>(lines[n]);
    }
    status[i] = isc_arg_end;
}

[[maybe_unused]] TFbClientBinding& RealBinding() {
    TFbClientBinding& binding = FbClientBinding();
    binding.LibraryName = "fbclient.dll";
    binding.EnsureLoaded();
    return binding;
}

TEST(FbClientBinding, ResolvesEntryPointsInTheListedOrder) {
    const std::vector<std::string_view> required{"BLOB_get",
                                                 "BLOB_put",
                                                 "isc_sqlcode",
                                                 "isc_sql_interprete",
                                                 "isc_interprete",
                                                 "isc_vax_integer",
                                                 "isc_blob_info",
                                                 "isc_open_blob2",
                                                 "isc_close_blob",
                                                 "isc_get_segment",
                                                 "isc_put_segment",
                                                 "isc_create_blob2",
                                                 "isc_decode_date",
                                                 "isc_encode_date",
                                                 "isc_dsql_free_statement",
                                                 "isc_dsql_execute2",
                                                 "isc_dsql_execute",
                                                 "isc_dsql_set_cursor_name",
                                                 "isc_dsql_fetch",
                                                 "isc_dsql_sql_info",
                                                 "isc_dsql_alloc_statement2",
                                                 "isc_dsql_prepare",
                                                 "isc_dsql_describe_bind",
                                                 "isc_dsql_describe",
                                                 "isc_dsql_execute_immediate",
                                                 "isc_drop_database",
                                                 "isc_detach_database",
                                                 "isc_attach_database",
                                                 "isc_database_info",
                                                 "isc_start_multiple",
                                                 "isc_commit_transaction",
                                                 "isc_commit_retaining",
                                                 "isc_rollback_transaction",
                                                 "isc_cancel_events",
                                                 "isc_que_events",
                                                 "isc_event_counts",
                                                 "isc_event_block",
                                                 "isc_free",
                                                 "isc_add_user",
                                                 "isc_delete_user",
                                                 "isc_modify_user",
                                                 "isc_prepare_transaction",
                                                 "isc_prepare_transaction2"};
    const std::vector<std::string_view> level6{
        "isc_service_attach",  "isc_service_detach",  "isc_service_query",    "isc_service_start",
        "isc_decode_sql_date", "isc_decode_sql_time", "isc_decode_timestamp", "isc_encode_sql_date",
        "isc_encode_sql_time", "isc_encode_timestamp"};
    EXPECT_EQ(TFbClientBinding::RequiredEntryPointNames(), required);
    EXPECT_EQ(TFbClientBinding::Level6EntryPointNames(), level6);
}

TEST(FbClientBinding, LoadsTheRealClientLibraryAtLevel6) {
    TFbClientBinding binding;
    EXPECT_EQ(binding.LibraryName, "gds32.dll");
    EXPECT_FALSE(binding.IsLoaded());
    EXPECT_EQ(binding.ApiLevel(), 0);
    binding.LibraryName = "fbclient.dll";
    binding.EnsureLoaded();
    EXPECT_TRUE(binding.IsLoaded());
    EXPECT_EQ(binding.ApiLevel(), 6);
    // A later change of the name has no effect on a loaded binding.
    binding.LibraryName = "missing.dll";
    EXPECT_NO_THROW(binding.EnsureLoaded());
}

TEST(FbClientBinding, MissingLibraryNamesGds32AndLoadsOnceItIsThere) {
    TTempFolder folder;
    const std::filesystem::path path = folder.Path() / "libfbclient.so.2";
    TFbClientBinding binding;
    binding.LibraryName = path.string();
    try {
        binding.EnsureLoaded();
        FAIL() << "loaded a missing library";
    } catch (const EIBClientError& failure) {
        EXPECT_STREQ(failure.what(), Text1);
        EXPECT_EQ(failure.SQLCode, 1);
        EXPECT_EQ(failure.IBErrorCode, 0);
    }
    EXPECT_FALSE(binding.IsLoaded());

    std::filesystem::copy_file(FAKE_CLIENT_NO_ROLLBACK_RETAINING, path);
    binding.EnsureLoaded();
    EXPECT_TRUE(binding.IsLoaded());
}

TEST(FbClientBinding, FileThatIsNoLibraryFailsWithText1) {
    TTempFolder folder;
    const std::filesystem::path path = folder.MakeFile("libfbclient.so", "not a library\n");
    TFbClientBinding binding;
    binding.LibraryName = path.string();
    try {
        binding.EnsureLoaded();
        FAIL() << "loaded a text file";
    } catch (const EIBClientError& failure) {
        EXPECT_STREQ(failure.what(), Text1);
    }
    EXPECT_FALSE(binding.IsLoaded());
}

TEST(FbClientBinding, Level5LibraryFailsOnlyWhenALevel6EntryPointIsCalled) {
    TFbClientBinding binding;
    binding.LibraryName = FAKE_CLIENT_NO_ROLLBACK_RETAINING;
    binding.EnsureLoaded();
    EXPECT_EQ(binding.ApiLevel(), 5);
    isc_svc_handle handle = 0;
    try {
        binding.Call(&TFbClientEntryPoints::isc_service_attach, StatusVector(),
                     static_cast<unsigned short>(0), "service_mgr", &handle,
                     static_cast<unsigned short>(0), "");
        FAIL() << "a level-5 library attached a service";
    } catch (const EIBClientError& failure) {
        EXPECT_STREQ(failure.what(), "isc_service_attach is an InterBase 6 function. Please "
                                     "upgrade to InterBase 6 to use this functonality");
        EXPECT_EQ(failure.SQLCode, 3);
    }
    EXPECT_THROW(binding.Call(&TFbClientEntryPoints::isc_rollback_retaining, StatusVector(),
                              static_cast<isc_tr_handle*>(nullptr)),
                 EIBClientError);
}

// What the system's loader says of an entry point that a library lacks.
std::string LoaderText([[maybe_unused]] const std::string& library,
                       [[maybe_unused]] const std::string& missing) {
#ifdef _WIN32
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ERROR_PROC_NOT_FOUND, 0, text, 512, nullptr);
    std::wstring wide(text, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n')) {
        wide.pop_back();
    }
    std::string result(wide.size() * 3, '\0');
    result.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), result.data(),
                            static_cast<int>(result.size()), nullptr, nullptr)));
    return result;
#else
    return library + ": undefined symbol: " + missing;
#endif
}

TEST(FbClientBinding, MissingEntryPointFailsWithTheSystemErrorAndStaysUnusable) {
    struct TCase {
        const char* Library;
        const char* Missing;
    };
    // isc_sqlcode comes before isc_attach_database in the order, so it is the one named.
    for (const TCase& c : {TCase{FAKE_CLIENT_NO_SERVICE_START, "isc_service_start"},
                           TCase{FAKE_CLIENT_NO_ATTACH_AND_SQLCODE, "isc_sqlcode"}}) {
        SCOPED_TRACE(c.Library);
        TFbClientBinding binding;
        binding.LibraryName = c.Library;
        const std::string expected =
            std::string("System Error.  Code: 127.\r\n") + LoaderText(c.Library, c.Missing);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                binding.EnsureLoaded();
                FAIL() << "an incomplete library was accepted";
            } catch (const EOSError& failure) {
                EXPECT_EQ(failure.what(), expected);
                EXPECT_EQ(failure.ErrorCode, 127u);
            }
            EXPECT_TRUE(binding.IsLoaded());
        }
        EXPECT_THROW(binding.Call(&TFbClientEntryPoints::isc_sqlcode, StatusVector()), EOSError);
    }
}

TEST(FbClientBinding, KeepsTheCallersFloatingPointEnvironment) {
    TFbClientBinding binding;
    binding.LibraryName = FAKE_CLIENT_NO_ROLLBACK_RETAINING;
    binding.EnsureLoaded();
    ASSERT_EQ(std::fesetround(FE_TOWARDZERO), 0);
    binding.Call(&TFbClientEntryPoints::isc_vax_integer, static_cast<const ISC_SCHAR*>(""),
                 static_cast<short>(0));
    EXPECT_EQ(std::fegetround(), FE_TOWARDZERO);
    std::fesetround(FE_TONEAREST);
}

// The real client's own answers: the Windows client is not at hand where the Windows tests run.
#ifndef _WIN32
TEST(FbClientBinding, StatusErrorTextFollowsTheLineRules) {
    struct TCase {
        const char* Name;
        std::vector<const char*> Lines;
        std::string Expected;
    };
    const std::vector<TCase> cases{
        {"two lines, the second with a full stop",
         {"first line", "second line."},
         "first line\r\nsecond line"},
        {"a line ending with a line feed gets no added break",
         {"first line\n", "second line"},
         "first line\nsecond line"},
        {"two full stops lose only the last", {"ends here.."}, "ends here."},
        {"one line without a full stop stays whole", {"plain"}, "plain"},
    };
    TFbClientBinding& binding = RealBinding();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FillStatusVector(c.Lines);
        try {
            binding.RaiseStatusError();
            FAIL();
        } catch (const EIBInterBaseError& failure) {
            EXPECT_EQ(failure.what(), c.Expected);
            EXPECT_EQ(failure.IBErrorCode, isc_random);
            EXPECT_NE(failure.SQLCode, -551);
        }
    }
}

TEST(FbClientBinding, SqlCode551RaisesTheRoleError) {
    TFbClientBinding& binding = RealBinding();
    ISC_STATUS* status = StatusVector();
    const ISC_STATUS vector[] = {isc_arg_gds,    isc_no_priv,
                                 isc_arg_string, reinterpret_cast<ISC_STATUS>("SELECT"),
                                 isc_arg_string, reinterpret_cast<ISC_STATUS>("TABLE"),
                                 isc_arg_string, reinterpret_cast<ISC_STATUS>("SECRETS"),
                                 isc_arg_end};
    std::copy(std::begin(vector), std::end(vector), status);
    try {
        binding.RaiseStatusError();
        FAIL();
    } catch (const EIBInterBaseRoleError& failure) {
        EXPECT_STREQ(failure.what(), "no permission for SELECT access to TABLE SECRETS");
        EXPECT_EQ(failure.SQLCode, -551);
        EXPECT_EQ(failure.IBErrorCode, isc_no_priv);
    }
}
#endif

TEST(FbClientBinding, StatusVectorBelongsToTheCallingThread) {
    FillStatusVector({"main thread"});
    ISC_STATUS* mine = StatusVector();
    ISC_STATUS* other = nullptr;
    ISC_STATUS otherFirst = -1;
    std::thread([&] {
        other = StatusVector();
        otherFirst = other[1];
    }).join();
    EXPECT_NE(mine, other);
    EXPECT_EQ(otherFirst, 0);
    EXPECT_EQ(mine[1], isc_random);
}

TEST(FbClientBinding, ClientTextsAreFormattedWithTheirArguments) {
    struct TCase {
        int Number;
        std::vector<TClientErrorArg> Args;
        std::string Expected;
    };
    const std::vector<TCase> cases{
        {1, {}, Text1},
        {3,
         {std::string("isc_service_start")},
         "isc_service_start is an InterBase 6 function. Please upgrade to InterBase 6 to use "
         "this functonality"},
        {88, {std::string("ignored")}, "SPB Constant Not supported"},
        {89, {}, "SPB Constant Unknown"},
        {90, {}, "Cannot perform operation -- service is not attached"},
        {91, {}, "Cannot perform operation -- service is attached"},
        {92, {std::int64_t{7}}, "Server Name Missing"},
        {94, {}, "start Parameters missing or incorrect"},
        {3,
         {std::int64_t{42}},
         "42 is an InterBase 6 function. Please upgrade to InterBase 6 to "
         "use this functonality"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Number);
        try {
            RaiseClientError(c.Number, c.Args);
            FAIL();
        } catch (const EIBClientError& failure) {
            EXPECT_EQ(failure.what(), c.Expected);
            EXPECT_EQ(failure.SQLCode, c.Number);
            EXPECT_EQ(failure.IBErrorCode, 0);
        }
    }
}

} // namespace
