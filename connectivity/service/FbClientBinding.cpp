#include "connectivity/service/FbClientBinding.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

namespace {

struct TNumberedText {
    int Number;
    std::string_view Text;
};

// The texts of the facilities that this program uses; the others are never raised here.
constexpr std::array<TNumberedText, 8> ClientTexts{{
    {1, "InterBase library gds32.dll not found in the path. Please install InterBase to use "
        "this functionality"},
    {3, "%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this functonality"},
    {88, "SPB Constant Not supported"},
    {89, "SPB Constant Unknown"},
    {90, "Cannot perform operation -- service is not attached"},
    {91, "Cannot perform operation -- service is attached"},
    {92, "Server Name Missing"},
    {94, "start Parameters missing or incorrect"},
}};

std::string ArgText(const TClientErrorArg& arg) {
    if (const auto* text = std::get_if<std::string>(&arg)) {
        return *text;
    }
    return std::to_string(std::get<std::int64_t>(arg));
}

// %s and %d take the next argument whatever its kind; a missing argument leaves the
// placeholder as it stands rather than reading past the list.
std::string FormatClientText(std::string_view text, const std::vector<TClientErrorArg>& args) {
    std::string result;
    auto next = args.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd') &&
            next != args.end()) {
            result += ArgText(*next++);
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

[[noreturn]] void RaiseOsError(const platform::TOsError& error) {
    if (error.Code == 0) {
        throw EOSError("A call to an OS function failed", 0);
    }
    throw EOSError("System Error.  Code: " + std::to_string(error.Code) + ".\r\n" +
                       error.Description,
                   error.Code);
}

// A level-6 entry point of a level-5 library: it exists, so callers need no check, but calling
// it fails with text 3 naming it.
template <std::size_t N> struct TEntryName {
    constexpr TEntryName(const char (&name)[N]) { std::copy_n(name, N, Text); }
    char Text[N]{};
};

template <TEntryName Name, typename R, typename... A> R ISC_EXPORT Level5Substitute(A...) {
    RaiseClientError(3, {std::string(Name.Text)});
}

template <TEntryName Name, typename R, typename... A>
void InstallLevel5Substitute(R(ISC_EXPORT*& slot)(A...)) {
    slot = &Level5Substitute<Name, R, A...>;
}

} // namespace

std::string_view ClientErrorText(int number) {
    for (const TNumberedText& entry : ClientTexts) {
        if (entry.Number == number) {
            return entry.Text;
        }
    }
    return {};
}

void RaiseClientError(int number, const std::vector<TClientErrorArg>& args) {
    throw EIBClientError(FormatClientText(ClientErrorText(number), args), number, 0);
}

std::string ToClientText(const std::string& utf8, std::string_view field) {
    platform::TUnheldCharacter unheld;
    std::optional<std::string> converted = platform::Utf8ToClientText(utf8, &unheld);
    if (!converted) {
        throw EIBClientError(platform::UnheldCharacterText(unheld, field), 0, 0);
    }
    return std::move(*converted);
}

ISC_STATUS* StatusVector() {
    thread_local ISC_STATUS_ARRAY status{};
    return status;
}

const std::vector<std::string_view>& TFbClientBinding::RequiredEntryPointNames() {
#define FB_NAME(name) #name,
    static const std::vector<std::string_view> names{FB_SERVICE_REQUIRED_ENTRY_POINTS(FB_NAME)};
#undef FB_NAME
    return names;
}

const std::vector<std::string_view>& TFbClientBinding::Level6EntryPointNames() {
#define FB_NAME(name) #name,
    static const std::vector<std::string_view> names{FB_SERVICE_LEVEL6_ENTRY_POINTS(FB_NAME)};
#undef FB_NAME
    return names;
}

void TFbClientBinding::EnsureLoaded() {
    if (!IsLoaded()) {
        Load();
    }
    if (!IsLoaded()) {
        RaiseClientError(1);
    }
    if (IncompleteLoad_) {
        RaiseOsError(*IncompleteLoad_);
    }
}

void TFbClientBinding::RaiseNotUsable() const {
    if (IsLoaded() && IncompleteLoad_) {
        RaiseOsError(*IncompleteLoad_);
    }
    RaiseClientError(1);
}

void TFbClientBinding::Load() {
    connectivity::TFpuGuard guard;
    Library_ = platform::TDynamicLibrary::Load(LibraryName);
    if (!Library_.IsLoaded()) {
        return;
    }
    platform::TOsError error;
    // The handle is kept even when a lookup fails: the library counts as loaded from then on,
    // and the stored failure keeps every later use away from the unresolved entry points.
    const auto resolve = [&](const char* name, auto& slot) {
        using TSlot = std::remove_reference_t<decltype(slot)>;
        slot = reinterpret_cast<TSlot>(Library_.Find(name, &error));
        if (slot == nullptr) {
            IncompleteLoad_ = error;
            return false;
        }
        return true;
    };
#define FB_RESOLVE(name)                                                                           \
    if (!resolve(#name, EntryPoints_.name)) {                                                      \
        RaiseOsError(*IncompleteLoad_);                                                            \
    }
    FB_SERVICE_REQUIRED_ENTRY_POINTS(FB_RESOLVE)
    EntryPoints_.isc_rollback_retaining = reinterpret_cast<decltype(&::isc_rollback_retaining)>(
        Library_.Find("isc_rollback_retaining"));
    if (EntryPoints_.isc_rollback_retaining != nullptr) {
        ApiLevel_ = 6;
        FB_SERVICE_LEVEL6_ENTRY_POINTS(FB_RESOLVE)
    } else {
        ApiLevel_ = 5;
#define FB_SUBSTITUTE(name) InstallLevel5Substitute<#name>(EntryPoints_.name);
        FB_SUBSTITUTE(isc_rollback_retaining)
        FB_SERVICE_LEVEL6_ENTRY_POINTS(FB_SUBSTITUTE)
#undef FB_SUBSTITUTE
    }
#undef FB_RESOLVE
}

void TFbClientBinding::RaiseStatusError() const {
    ISC_STATUS* status = StatusVector();
    const auto errorCode = static_cast<std::int32_t>(status[1]);
    const auto sqlCode =
        static_cast<std::int32_t>(Call(&TFbClientEntryPoints::isc_sqlcode, status));

    std::string message;
    std::vector<char> buffer(20480);
    ISC_STATUS* cursor = status;
    while (Call(&TFbClientEntryPoints::isc_interprete, buffer.data(), &cursor) > 0) {
        if (!message.empty() && message.back() != '\n') {
            message += "\r\n";
        }
        // The client's messages are in the system's 8-bit encoding (the ANSI code page on
        // Windows): this is the one place where the layer takes a text from it.
        message += platform::ClientTextToUtf8(
            {buffer.data(), static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), '\0') -
                                                     buffer.begin())});
    }
    if (!message.empty() && message.back() == '.') {
        message.pop_back();
    }
    if (sqlCode == -551) {
        throw EIBInterBaseRoleError(message, sqlCode, errorCode);
    }
    throw EIBInterBaseError(message, sqlCode, errorCode);
}

TFbClientBinding& FbClientBinding() {
    static TFbClientBinding binding;
    return binding;
}
