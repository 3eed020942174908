#include "platform/ProgramResource.h"

#include "platform/File.h"
#include "platform/PayloadFormat.h"

namespace platform {

TResourceRead ReadProgramResource(const std::string& program, std::string_view type,
                                  std::string_view name) {
    using TOutcome = TResourceRead::TOutcome;
    const TFile file = TFile::OpenRead(program);
    if (!file.IsOpen()) {
        return {TOutcome::CannotLoad, {}};
    }
    const auto directory = ReadPayloadDirectory(file);
    const TPayloadEntry* entry = directory ? directory->Find(type, name) : nullptr;
    if (entry == nullptr) {
        return {TOutcome::NotFound, {}};
    }
    auto bytes = ReadPayloadEntry(file, *entry);
    if (!bytes) {
        return {TOutcome::CannotLock, {}};
    }
    return {TOutcome::Read, std::move(*bytes)};
}

void WriteProgramResources(const std::string& program, const std::vector<TResourceItem>& items,
                           const std::string& output) {
    std::vector<TPayloadItem> entries;
    for (const auto& item : items) {
        entries.push_back({item.Type, item.Name, item.SourceFile});
    }
    WritePayload(program, entries, output);
}

} // namespace platform
