#include "scriptengine/EngineClient.h"

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
        *error = "Cannot load the client library \"" + std::string(fileName) +
                 "\": " + osError.Description;
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
        *error = "The client library \"" + std::string(fileName) + "\" has no entry point \"" +
                 missing + "\"";
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
    return text.empty() ? "Unknown failure of the client library" : text;
}

} // namespace scriptengine
