// The fbclient.dll of the Windows server tests: the client bridge's fbclient.dll (tests/bridge),
// copied beside it as fbbridge.dll, with the database's file name in the calls that carry one
// changed from Wine's drive Z: to the Linux path. The updater names the database by its Windows
// path (Z:\...\DB_Data\Kormant.fdb under Wine), which a Windows server would open; the tests'
// server is a Linux program and needs /.../DB_Data/Kormant.fdb. Every other entry point is the
// bridge's own, forwarded by the export table (DriveZClientExports.cmake writes it).
#include <ibase.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string LinuxPath(std::string path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/')) {
        path.erase(0, 2);
        for (char& c : path) {
            c = c == '\\' ? '/' : c;
        }
    }
    return path;
}

// A database string "server:path" or a bare path, with the path mapped.
std::string LinuxDatabaseString(const std::string& databaseString) {
    if (LinuxPath(databaseString) != databaseString) {
        return LinuxPath(databaseString);
    }
    const std::size_t colon = databaseString.find(':');
    return colon == std::string::npos
               ? databaseString
               : databaseString.substr(0, colon + 1) + LinuxPath(databaseString.substr(colon + 1));
}

template <typename F> F Bridge(const char* name) {
    static const HMODULE bridge = LoadLibraryW(L"fbbridge.dll");
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(bridge != nullptr ? GetProcAddress(bridge, name) : nullptr));
}

// The client's "not available" answer, for a bridge that is not there.
ISC_STATUS Unavailable(ISC_STATUS* status) {
    status[0] = isc_arg_gds;
    status[1] = isc_unavailable;
    status[2] = isc_arg_end;
    return isc_unavailable;
}

std::string Name(short length, const char* name) {
    return length != 0 ? std::string(name, static_cast<std::size_t>(length))
                       : std::string(name != nullptr ? name : "");
}

} // namespace

extern "C" {

__declspec(dllexport) ISC_STATUS ISC_EXPORT
    isc_attach_database(ISC_STATUS* status, short nameLength, const char* name,
                        isc_db_handle* handle, short dpbLength, const char* dpb) {
    const auto call = Bridge<decltype(&isc_attach_database)>("isc_attach_database");
    const std::string mapped = LinuxDatabaseString(Name(nameLength, name));
    return call == nullptr ? Unavailable(status)
                           : call(status, static_cast<short>(mapped.size()), mapped.c_str(), handle,
                                  dpbLength, dpb);
}

__declspec(dllexport) ISC_STATUS ISC_EXPORT
    isc_create_database(ISC_STATUS* status, short nameLength, const char* name,
                        isc_db_handle* handle, short dpbLength, const char* dpb, short type) {
    const auto call = Bridge<decltype(&isc_create_database)>("isc_create_database");
    const std::string mapped = LinuxDatabaseString(Name(nameLength, name));
    return call == nullptr ? Unavailable(status)
                           : call(status, static_cast<short>(mapped.size()), mapped.c_str(), handle,
                                  dpbLength, dpb, type);
}

// The database of a service request is its first item after the action, as the service layer
// writes it (connectivity/service/TIBCustomService.cpp).
__declspec(dllexport) ISC_STATUS ISC_EXPORT
    isc_service_start(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                      unsigned short length, const char* request) {
    const auto call = Bridge<decltype(&isc_service_start)>("isc_service_start");
    if (call == nullptr) {
        return Unavailable(status);
    }
    std::string sent(request, length);
    if (length >= 4 && static_cast<unsigned char>(request[1]) == isc_spb_dbname) {
        const std::size_t size = static_cast<unsigned char>(request[2]) |
                                 static_cast<std::size_t>(static_cast<unsigned char>(request[3]))
                                     << 8;
        if (4 + size <= length) {
            const std::string path = LinuxPath(std::string(request + 4, size));
            sent = std::string(request, 2) + static_cast<char>(path.size() & 0xFF) +
                   static_cast<char>(path.size() >> 8) + path + sent.substr(4 + size);
        }
    }
    return call(status, handle, reserved, static_cast<unsigned short>(sent.size()), sent.data());
}

} // extern "C"
