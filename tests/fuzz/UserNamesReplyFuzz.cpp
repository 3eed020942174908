// libFuzzer target: any bytes as the reply of an isc_info_user_names request. The walk must not
// read outside the reply (the sanitizers see to that) and must give exactly the names that a
// second, bounds-checked statement of the reply's form finds.
#include "connectivity/service/TIBFBDatabaseInfo.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Clumps of 53, two ignored bytes, a length byte n and n name bytes, up to the first byte that
// is not 53; every access goes through at(), so a clump that the end cuts short throws and ends
// the list with the names before it.
std::vector<std::string> ExpectedNames(const std::vector<unsigned char>& reply) {
    std::vector<std::string> names;
    std::size_t at = 0;
    try {
        while (at < reply.size() && reply.at(at) == 53) {
            const std::size_t length = reply.at(at + 3);
            std::string name;
            bool ended = false;
            for (std::size_t k = 0; k < length; ++k) {
                const unsigned char c = reply.at(at + 4 + k);
                ended = ended || c == 0;
                if (!ended) {
                    name += static_cast<char>(c);
                }
            }
            names.push_back(name);
            at += 4 + length;
        }
    } catch (const std::out_of_range&) {
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> names =
        ParseUserNames(std::string_view(reinterpret_cast<const char*>(data), size));
    Check(names == ExpectedNames(std::vector<unsigned char>(data, data + size)));
    return 0;
}
