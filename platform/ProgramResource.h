// Data that a program file carries for itself: the update script and the update package.
// Windows: resources of the program's image, found by type and name without regard to letter
// case (the system compares them in upper case). Linux: the payload attached to the end of the
// program's file (platform/PayloadFormat.h), found the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TResourceRead {
    enum class TOutcome {
        Read,       // Bytes holds the whole resource
        NotFound,   // the program carries no resource of this type and name
        CannotLoad, // the program file cannot be opened, or the resource not loaded from it
        CannotLock  // the resource is there but its bytes cannot be had (damaged payload)
    };
    TOutcome Outcome = TOutcome::NotFound;
    std::string Bytes;
};

TResourceRead ReadProgramResource(const std::string& program, std::string_view type,
                                  std::string_view name);

struct TResourceItem {
    std::string Type;
    std::string Name;
    std::string SourceFile; // the resource's bytes
};

// Writes `program` carrying `items` as `output` (which may be `program` itself). Windows: a
// resource of the same type and name is replaced, the others are kept, and the new ones are
// stored in the language of the program's texts (Russian, 1049). Linux: the attached payload
// is replaced as a whole. The result is written beside `output` and renamed over it, so a
// failure leaves `output` as it was.
// Throws std::runtime_error with an English text naming the file that failed.
void WriteProgramResources(const std::string& program, const std::vector<TResourceItem>& items,
                           const std::string& output);

} // namespace platform
