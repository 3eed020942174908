#include "connectivity/attachment/ClientLibrary.h"

#include "connectivity/attachment/EIB_Error.h"
#include "platform/DynamicLibrary.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

namespace {

struct TClientLibraryState {
    std::string Name = "gds32.dll";
    platform::TDynamicLibrary Library;
    std::atomic<std::int32_t> LoadCount{-1};
    TIB_ClientEntryPoints EntryPoints;
    std::unique_ptr<std::mutex> CallLock;
    std::optional<platform::TThreadLocalSlot> SessionSlot;
};

TClientLibraryState& State() {
    static TClientLibraryState state;
    return state;
}

template <std::size_t N> struct TFixedText {
    constexpr TFixedText(const char (&text)[N]) { std::copy_n(text, N, Text); }
    char Text[N]{};
};

// The replacement of a missing optional entry point: present, so nothing checks for it, and
// failing with its text only when it is called.
template <TFixedText Text, typename R, typename... A> R ISC_EXPORT NotImplemented(A...) {
    throw EIB_Error(Text.Text);
}

template <TFixedText Text, typename R, typename... A>
void InstallNotImplemented(R(ISC_EXPORT*& slot)(A...)) {
    slot = &NotImplemented<Text, R, A...>;
}

template <typename F> F Lookup(const platform::TDynamicLibrary& library, const char* name) {
    return reinterpret_cast<F>(library.Find(name));
}

} // namespace

void RaiseClientNotInstalled() {
    throw EIB_Error("Не установлен InterBase клиент GDS32.DLL");
}

const std::vector<std::string_view>& RequiredClientEntryPointNames() {
#define IB_NAME(name) #name,
    static const std::vector<std::string_view> names{
        IB_REQUIRED_ENTRY_POINTS_HEAD(IB_NAME) "isc_event_counts",
        IB_REQUIRED_ENTRY_POINTS_TAIL(IB_NAME)};
#undef IB_NAME
    return names;
}

void LoadClientLibrary() {
    TClientLibraryState& state = State();
    connectivity::TFpuGuard guard;
    if (!state.Library.IsLoaded()) {
        state.Library = platform::TDynamicLibrary::Load(state.Name);
    }
    if (!state.Library.IsLoaded()) {
        return;
    }
    TIB_ClientEntryPoints& table = state.EntryPoints;
#define IB_RESOLVE(name)                                                                           \
    table.name = Lookup<decltype(table.name)>(state.Library, #name);                               \
    if (table.name == nullptr) {                                                                   \
        throw EIB_Error("Невозможно найти импорт DLL \"" #name "\"");                              \
    }
    IB_REQUIRED_ENTRY_POINTS_HEAD(IB_RESOLVE)
    IB_RESOLVE(isc_event_counts)
    IB_REQUIRED_ENTRY_POINTS_TAIL(IB_RESOLVE)
#undef IB_RESOLVE
#define IB_LOOK_UP_OPTIONAL(name, text)                                                            \
    table.name = Lookup<decltype(table.name)>(state.Library, #name);                               \
    if (table.name == nullptr) {                                                                   \
        InstallNotImplemented<text>(table.name);                                                   \
    }
    IB_OPTIONAL_ENTRY_POINTS(IB_LOOK_UP_OPTIONAL)
    table.isc_rollback_retaining =
        Lookup<decltype(table.isc_rollback_retaining)>(state.Library, "isc_rollback_retaining");
    IB_LOOK_UP_OPTIONAL(isc_portable_integer, "isc_portable_integer() not implemented")
#undef IB_LOOK_UP_OPTIONAL
}

void AcquireClientLibrary() {
    TClientLibraryState& state = State();
    if (++state.LoadCount != 0) {
        return;
    }
    // The slot comes before the load, unlike the order in which the original layer did it: a load
    // that raises for a missing entry point must not leave later components without their
    // session slot.
    state.CallLock = std::make_unique<std::mutex>();
    state.SessionSlot.emplace();
    LoadClientLibrary();
}

void ReleaseClientLibrary() {
    TClientLibraryState& state = State();
    // The fall to 0 frees. So does a fall below 0: a lone component takes the count from -1 to
    // 0 and back to -1, and a library left loaded then would be reused under whatever name a
    // later reset sets, since a load keeps a library that is still held.
    if (--state.LoadCount > 0) {
        return;
    }
    state.CallLock.reset();
    {
        connectivity::TFpuGuard guard;
        state.Library.Free();
    }
    state.EntryPoints = {};
    state.SessionSlot.reset();
}

void ResetClientLibrary(const std::string& libraryName) {
    TClientLibraryState& state = State();
    while (state.LoadCount >= 0) {
        ReleaseClientLibrary();
    }
    state.LoadCount = -1;
    state.Name = libraryName;
}

const std::string& ClientLibraryName() {
    return State().Name;
}

std::int32_t ClientLibraryLoadCount() {
    return State().LoadCount;
}

bool ClientLibraryLoaded() {
    return State().Library.IsLoaded();
}

const TIB_ClientEntryPoints& ClientEntryPoints() {
    return State().EntryPoints;
}

std::mutex* ClientCallLock() {
    return State().CallLock.get();
}

const platform::TThreadLocalSlot* ClientSessionSlot() {
    const auto& slot = State().SessionSlot;
    return slot ? &*slot : nullptr;
}

TClientLibraryModule::TClientLibraryModule(std::string_view executablePath,
                                           const std::function<void(const std::string&)>& present) {
    const std::string name = platform::ReadIniString(platform::SettingsFileFor(executablePath),
                                                     "SERVER", "DataBaseClient", "");
    if (!name.empty()) {
        State().Name = name;
    }
    try {
        AcquireClientLibrary();
        AcquireClientLibrary();
    } catch (const EIB_Error& failure) {
        std::cerr << failure.what() << std::endl;
        if (present) {
            present(failure.what());
        }
        std::exit(1);
    }
}

TClientLibraryModule::~TClientLibraryModule() {
    ReleaseClientLibrary();
}
