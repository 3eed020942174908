#include "scriptengine/EngineClient.h"

#include "platform/CodePage.h"

namespace scriptengine {

bool TEngineClient::Load(std::string_view fileName, std::string* error) {
    Free();
    platform::TOsError osError;
    platform::TDynamicLibrary library;
    {
        connectivity::TFpuGuard guard;
        library = platform::TDynamicLibrary::Load(fileName, &osError);
    }
    if (!library.IsLoaded()) {
        // The name came in the client's encoding, the system's description is UTF-8; what the
        // engine reports is windows-1251.
        *error = "Cannot load the client library \"" + platform::ClientTextToCp1251(fileName) +
                 "\": " + platform::Utf8ToCp1251(osError.Description);
        return false;
    }
    TEngineEntryPoints entryPoints;
    bool complete = true;
    std::string missing;
    const auto resolve = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library.Find(name));
        if (slot == nullptr && complete) {
            complete = false;
            missing = name;
        }
    };
#define SCRIPT_ENGINE_RESOLVE(name) resolve(entryPoints.name, #name);
    SCRIPT_ENGINE_ENTRY_POINTS(SCRIPT_ENGINE_RESOLVE)
#undef SCRIPT_ENGINE_RESOLVE
    if (!complete) {
        *error = "The client library \"" + platform::ClientTextToCp1251(fileName) +
                 "\" has no entry point \"" + missing + "\"";
        connectivity::TFpuGuard guard;
        library.Free();
        return false;
    }
    entryPoints.fb_interpret =
        reinterpret_cast<decltype(&::fb_interpret)>(library.Find("fb_interpret"));
    Library_ = std::move(library);
    EntryPoints_ = entryPoints;
    FileName_ = fileName;
    return true;
}

void TEngineClient::Free() {
    if (Library_.IsLoaded()) {
        connectivity::TFpuGuard guard;
        Library_.Free();
    }
    EntryPoints_ = {};
    FileName_.clear();
}

std::string TEngineClient::StatusText() {
    std::string text;
    char line[1024];
    const ISC_STATUS* cursor = Status_;
    for (;;) {
        ISC_LONG length = 0;
        {
            connectivity::TFpuGuard guard;
            if (EntryPoints_.fb_interpret != nullptr) {
                length = EntryPoints_.fb_interpret(line, sizeof line, &cursor);
            } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
                ISC_STATUS* legacyCursor = const_cast<ISC_STATUS*>(cursor);
                length = EntryPoints_.isc_interprete(line, &legacyCursor);
                cursor = legacyCursor;
#pragma GCC diagnostic pop
            }
        }
        if (length <= 0) {
            break;
        }
        if (!text.empty()) {
            text += "\r\n";
        }
        text.append(line, static_cast<std::size_t>(length));
    }
    // The client writes its messages in the system's 8-bit encoding (the ANSI code page on
    // Windows, UTF-8 elsewhere); the engine reports in windows-1251. Every message of the client
    // passes here.
    return text.empty() ? "Unknown failure of the client library"
                        : platform::ClientTextToCp1251(text);
}

} // namespace scriptengine
