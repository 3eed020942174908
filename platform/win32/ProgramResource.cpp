#include "platform/ProgramResource.h"

#include <stdexcept>

#include "platform/File.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// The program's texts are Russian; its resources are stored under that language.
constexpr WORD kResourceLanguage = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT); // 1049

// A program file loaded for its resources only: nothing of it runs.
class TResourceModule {
public:
    explicit TResourceModule(const std::string& program)
        : Module_(LoadLibraryExW(win32::Widen(program).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~TResourceModule() {
        if (Module_ != nullptr) {
            FreeLibrary(Module_);
        }
    }
    TResourceModule(const TResourceModule&) = delete;
    TResourceModule& operator=(const TResourceModule&) = delete;
    HMODULE Get() const { return Module_; }

private:
    HMODULE Module_;
};

// Resource compilers store names in upper case, and the lookup compares in upper case.
std::wstring ResourceName(std::string_view name) {
    std::wstring wide = win32::Widen(name);
    CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return wide;
}

std::string ReadWholeFile(const std::string& path) {
    const TFile file = TFile::OpenRead(path);
    const auto size = file.IsOpen() ? file.Size() : std::nullopt;
    std::string bytes(size.value_or(0), '\0');
    if (!size || !file.ReadAt(0, bytes.data(), bytes.size())) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

} // namespace

TResourceRead ReadProgramResource(const std::string& program, std::string_view type,
                                  std::string_view name) {
    using TOutcome = TResourceRead::TOutcome;
    const TResourceModule module(program);
    if (module.Get() == nullptr) {
        return {TOutcome::CannotLoad, {}};
    }
    HRSRC found =
        FindResourceW(module.Get(), win32::Widen(name).c_str(), win32::Widen(type).c_str());
    if (found == nullptr) {
        return {TOutcome::NotFound, {}};
    }
    HGLOBAL loaded = LoadResource(module.Get(), found);
    if (loaded == nullptr) {
        return {TOutcome::CannotLoad, {}};
    }
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) {
        return {TOutcome::CannotLock, {}};
    }
    return {TOutcome::Read,
            std::string(static_cast<const char*>(bytes), SizeofResource(module.Get(), found))};
}

void WriteProgramResources(const std::string& program, const std::vector<TResourceItem>& items,
                           const std::string& output) {
    const auto fail = [](const std::string& text) { throw std::runtime_error(text); };
    std::vector<std::string> contents;
    for (const auto& item : items) {
        contents.push_back(ReadWholeFile(item.SourceFile));
    }
    // Every language of a replaced resource goes, so the lookup cannot find an older one.
    std::vector<std::vector<WORD>> languages(items.size());
    {
        const TResourceModule module(program);
        if (module.Get() == nullptr) {
            fail("cannot read " + program + " as a program");
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            EnumResourceLanguagesW(module.Get(), ResourceName(items[i].Type).c_str(),
                                   ResourceName(items[i].Name).c_str(), CollectLanguage,
                                   reinterpret_cast<LONG_PTR>(&languages[i]));
        }
    }
    const std::string temporary = output + ".partial";
    const std::wstring wideTemporary = win32::Widen(temporary);
    if (!CopyFileW(win32::Widen(program).c_str(), wideTemporary.c_str(), FALSE)) {
        fail("cannot create " + temporary);
    }
    const auto failWriting = [&](const std::string& text) {
        DeleteFileW(wideTemporary.c_str());
        fail(text);
    };
    HANDLE update = BeginUpdateResourceW(wideTemporary.c_str(), FALSE);
    if (update == nullptr) {
        failWriting("cannot write resources into " + temporary);
    }
    bool written = true;
    for (std::size_t i = 0; i < items.size() && written; ++i) {
        const std::wstring type = ResourceName(items[i].Type);
        const std::wstring name = ResourceName(items[i].Name);
        for (const WORD language : languages[i]) {
            written = written &&
                      UpdateResourceW(update, type.c_str(), name.c_str(), language, nullptr, 0);
        }
        written =
            written && UpdateResourceW(update, type.c_str(), name.c_str(), kResourceLanguage,
                                       contents[i].data(), static_cast<DWORD>(contents[i].size()));
    }
    if (!EndUpdateResourceW(update, written ? FALSE : TRUE) || !written) {
        failWriting("cannot write resources into " + temporary);
    }
    if (!MoveFileExW(wideTemporary.c_str(), win32::Widen(output).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failWriting("cannot replace " + output);
    }
}

} // namespace platform
