#include "connectivity/service/TIBFBDatabaseInfo.h"

#include "connectivity/service/FbClientBinding.h"

std::vector<std::string> ParseUserNames(std::string_view reply) {
    std::vector<std::string> names;
    std::size_t position = 0;
    // A walk that trusts the reply runs past the buffer when the server fills it with clumps and
    // no end mark, or when a length byte is damaged; every step here is checked against the end
    // first.
    while (position < reply.size() && static_cast<unsigned char>(reply[position]) ==
                                          static_cast<unsigned char>(isc_info_user_names)) {
        const std::size_t lengthAt = position + 3;
        if (lengthAt >= reply.size()) {
            break;
        }
        const std::size_t length = static_cast<unsigned char>(reply[lengthAt]);
        const std::size_t nameAt = lengthAt + 1;
        if (length > reply.size() - nameAt) {
            break;
        }
        const std::string_view name = reply.substr(nameAt, length);
        names.emplace_back(name.substr(0, name.find('\0')));
        position = nameAt + length;
    }
    return names;
}

TIBFBDatabaseInfo::TIBFBDatabaseInfo() {
    FbClientBinding().EnsureLoaded();
}

const std::vector<std::string>& TIBFBDatabaseInfo::FetchUserNames() {
    const char items[] = {isc_info_user_names};
    std::vector<char> reply(UserNamesReplySize, '\0');
    const TFbClientBinding& binding = FbClientBinding();
    const ISC_STATUS status = binding.Call(&TFbClientEntryPoints::isc_database_info, StatusVector(),
                                           &DatabaseHandle, static_cast<short>(sizeof items), items,
                                           static_cast<short>(reply.size()), reply.data());
    if (status > 0) {
        binding.RaiseStatusError();
    }
    NameList_ = ParseUserNames(std::string_view(reply.data(), reply.size()));
    return NameList_;
}
