// The database-information client of the service layer: one isc_info_user_names request on an
// attachment made elsewhere, and the walk through its reply.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

// The size of the reply buffer of one request; a longer reply is cut by the server.
inline constexpr std::size_t UserNamesReplySize = 20480;

// The user names of an isc_info_user_names reply, in reply order: clumps of item 53, two length
// bytes (not read: the name's own length byte decides where the next clump starts), one length
// byte n and n name bytes; the walk stops at the first byte that is not 53 (isc_info_end,
// isc_info_truncated). A name is kept up to its first NUL byte. Whatever the bytes hold, nothing
// outside `reply` is read: a clump that the end cuts short, its header or its name, ends the walk
// and the names before it are kept.
std::vector<std::string> ParseUserNames(std::string_view reply);

class TIBFBDatabaseInfo {
public:
    // Makes sure that FbClientBinding() is loaded (EnsureLoaded, with its failures). A failing
    // construction leaves no object behind, so an object that exists always holds its name list.
    TIBFBDatabaseInfo();
    TIBFBDatabaseInfo(const TIBFBDatabaseInfo&) = delete;
    TIBFBDatabaseInfo& operator=(const TIBFBDatabaseInfo&) = delete;

    // The client library's handle of an attached database, set before a request. Valid only when
    // it came from the same library file that the binding loaded.
    isc_db_handle DatabaseHandle = 0;

    // One isc_database_info request for isc_info_user_names with a 20,480-byte reply buffer; a
    // refusal fails through the binding's RaiseStatusError. Answers the names of this request,
    // one per attachment (the requester's own included), held by this object.
    const std::vector<std::string>& FetchUserNames();

    const std::vector<std::string>& NameList() const { return NameList_; }

private:
    std::vector<std::string> NameList_;
};
