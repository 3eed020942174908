#include "platform/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace platform {

namespace {

// Owns one iconv conversion descriptor.
class TConverter {
public:
    TConverter() : Handle_(iconv_open("UTF-8", "WINDOWS-1251")) {}
    ~TConverter() {
        if (Valid()) {
            iconv_close(Handle_);
        }
    }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    bool Valid() const { return Handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return Handle_; }

private:
    iconv_t Handle_;
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

} // namespace

std::string Cp1251ToUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size() * 2);
    TConverter converter;
    if (!converter.Valid()) {
        // No converter at all: ASCII stays readable, everything else is marked as unreadable.
        for (const char c : text) {
            if (static_cast<unsigned char>(c) < 0x80) {
                result += c;
            } else {
                result += kReplacement;
            }
        }
        return result;
    }
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(converter.Get(), &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done == static_cast<std::size_t>(-1) && errno == EILSEQ) {
            // 0x98 has no character in the code page.
            result += kReplacement;
            ++in;
            --inLeft;
        } else if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Anything else cannot happen for a single-byte source; stop rather than loop.
            break;
        }
    }
    return result;
}

} // namespace platform

namespace platform {

// The client library of this system takes and gives UTF-8, as the program itself: nothing is
// converted, and every character can be handed over.
std::optional<std::string> Utf8ToClientText(std::string_view utf8, TUnheldCharacter*) {
    return std::string(utf8);
}

std::string ClientTextToUtf8(std::string_view text) {
    return std::string(text);
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const iconv_t converter = iconv_open("WINDOWS-1251", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        for (const char c : text) {
            result += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        }
        return result;
    }
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // A character that windows-1251 lacks, or a byte that is not UTF-8: one '?' for the
        // whole character, then on after it.
        result += '?';
        std::size_t skip = 1;
        while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        in += skip;
        inLeft -= skip;
    }
    iconv_close(converter);
    return result;
}

std::string ClientTextToCp1251(std::string_view text) {
    return Utf8ToCp1251(text);
}

} // namespace platform
