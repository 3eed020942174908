#include "platform/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace platform {

namespace {

// Owns one iconv conversion descriptor.
class TConverter {
public:
    TConverter(const char* to, const char* from) : Handle_(iconv_open(to, from)) {}
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

// Converts `text` from `from` to `to`. A character the target lacks, or a byte that is no
// character of the source, becomes `replacement`: one for a whole UTF-8 sequence when the source
// is UTF-8, one per byte otherwise. Without a converter, ASCII stays and everything else is
// `replacement` per byte.
std::string Convert(std::string_view text, const char* to, const char* from,
                    std::string_view replacement) {
    const bool utf8Source = std::string_view(from) == "UTF-8";
    std::string result;
    result.reserve(text.size() * 2);
    TConverter converter(to, from);
    if (!converter.Valid()) {
        for (const char c : text) {
            if (static_cast<unsigned char>(c) < 0x80) {
                result += c;
            } else {
                result += replacement;
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
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            // Nothing else is expected of these conversions; stop rather than loop.
            break;
        }
        result += replacement;
        std::size_t skip = 1;
        while (utf8Source && skip < inLeft &&
               (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        in += skip;
        inLeft -= skip;
    }
    return result;
}

} // namespace

// 0x98 has no character in the code page.
std::string Cp1251ToUtf8(std::string_view text) {
    return Convert(text, "UTF-8", "WINDOWS-1251", kReplacement);
}

// The client library of this system takes and gives UTF-8, as the program itself: nothing is
// converted, and every character can be handed over.
std::optional<std::string> Utf8ToClientText(std::string_view utf8, TUnheldCharacter*) {
    return std::string(utf8);
}

std::string ClientTextToUtf8(std::string_view text) {
    return std::string(text);
}

std::string Utf8ToCp1251(std::string_view text) {
    return Convert(text, "WINDOWS-1251", "UTF-8", "?");
}

std::string ClientTextToCp1251(std::string_view text) {
    return Utf8ToCp1251(text);
}

} // namespace platform
