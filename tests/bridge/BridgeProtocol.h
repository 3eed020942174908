// The client bridge's wire format, shared by the Windows fbclient.dll (BridgeClient.cpp) and the
// Linux helper (BridgeHelper.cpp): the one table of forwarded entry points and the one codec of
// their argument kinds. Everything is written field by field with fixed widths, little-endian,
// so a 32-bit caller works with the 64-bit helper; no struct is ever copied whole.
//
// A message is a 32-bit length and that many bytes. A request is the call's number and each
// argument's request part in order; the reply is the call's result (64 bits) and each argument's
// reply part in order. Every kind has four halves: Put (the caller's side writes what goes out),
// Get (the helper reads it into storage of its own), PutBack (the helper writes what comes back)
// and Take (the caller's side writes it into the caller's memory, never beyond what the caller
// declared).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <ibase.h>

namespace bridge {

inline constexpr std::uint32_t ProtocolVersion = 1;
// Where the helper listens unless UPDATER_BRIDGE_PORT says otherwise (always 127.0.0.1).
inline constexpr std::uint16_t DefaultPort = 3059;
// Larger messages are refused by both sides as damaged.
inline constexpr std::uint32_t MaxMessage = 64u << 20;
// Larger reply buffers are refused by the helper (the API's lengths are 16 bits; a few are 32).
inline constexpr std::uint32_t MaxBuffer = 1u << 20;
// The caller's side reads a status vector that it hands over up to this many words.
inline constexpr std::size_t MaxVectorWords = 256;
// Status vectors written into a caller's array hold at most this many words, the end included.
inline constexpr std::size_t CallerVectorWords = ISC_STATUS_LENGTH;

class TWriter {
public:
    void U8(std::uint8_t value) { Data.push_back(static_cast<char>(value)); }
    void U32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            U8(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    void I64(std::int64_t value) {
        const auto bits = static_cast<std::uint64_t>(value);
        for (int i = 0; i < 8; ++i) {
            U8(static_cast<std::uint8_t>(bits >> (8 * i)));
        }
    }
    void Bytes(std::string_view bytes) {
        U32(static_cast<std::uint32_t>(bytes.size()));
        Data.append(bytes);
    }
    std::string Data;
};

// Reads a message; any read past its end marks it damaged and yields zeros.
class TReader {
public:
    explicit TReader(std::string_view data) : Rest_(data) {}
    bool Ok() const { return Ok_; }
    bool AtEnd() const { return Rest_.empty(); }
    void Fail() { Ok_ = false; }
    std::uint8_t U8() { return static_cast<std::uint8_t>(Fixed(1)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Fixed(4)); }
    std::int64_t I64() { return static_cast<std::int64_t>(Fixed(8)); }
    std::string Bytes() {
        const std::uint32_t size = U32();
        if (!Ok_ || size > Rest_.size()) {
            Ok_ = false;
            return {};
        }
        std::string bytes(Rest_.substr(0, size));
        Rest_.remove_prefix(size);
        return bytes;
    }

private:
    std::uint64_t Fixed(std::size_t size) {
        if (!Ok_ || Rest_.size() < size) {
            Ok_ = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(Rest_[i])) << (8 * i);
        }
        Rest_.remove_prefix(size);
        return value;
    }
    std::string_view Rest_;
    bool Ok_ = true;
};

// One clump of a status vector: a type and its number, or its text for the text types.
struct TClump {
    std::int64_t Type = 0;
    std::int64_t Value = 0;
    std::string Text;
};

inline bool IsTextClump(std::int64_t type) {
    return type == isc_arg_string || type == isc_arg_cstring || type == isc_arg_interpreted ||
           type == isc_arg_sql_state;
}

inline std::size_t ClumpWords(std::int64_t type) {
    return type == isc_arg_cstring ? 3 : 2;
}

// The clumps of a vector up to its end mark, reading at most `maxWords` words.
inline std::vector<TClump> ReadVector(const ISC_STATUS* vector, std::size_t maxWords) {
    std::vector<TClump> clumps;
    std::size_t at = 0;
    while (vector != nullptr && at < maxWords && vector[at] != isc_arg_end) {
        TClump clump;
        clump.Type = vector[at];
        if (at + ClumpWords(clump.Type) > maxWords) {
            break;
        }
        if (clump.Type == isc_arg_cstring) {
            const auto* text = reinterpret_cast<const char*>(vector[at + 2]);
            clump.Text.assign(text != nullptr ? text : "",
                              text != nullptr ? static_cast<std::size_t>(vector[at + 1]) : 0);
        } else if (IsTextClump(clump.Type)) {
            const auto* text = reinterpret_cast<const char*>(vector[at + 1]);
            clump.Text = text != nullptr ? text : "";
        } else {
            clump.Value = vector[at + 1];
        }
        clumps.push_back(std::move(clump));
        at += ClumpWords(clumps.back().Type);
    }
    return clumps;
}

// Writes clumps into `vector` (at most `maxWords` words, the end mark included), cutting at a
// clump's boundary; `keep` turns a text into a pointer that stays valid. The words written.
template <typename Keep>
std::size_t WriteVector(const std::vector<TClump>& clumps, ISC_STATUS* vector, std::size_t maxWords,
                        Keep keep) {
    std::size_t at = 0;
    for (const TClump& clump : clumps) {
        if (at + ClumpWords(clump.Type) + 1 > maxWords) {
            break;
        }
        vector[at] = static_cast<ISC_STATUS>(clump.Type);
        if (clump.Type == isc_arg_cstring) {
            const char* text = keep(clump.Text);
            vector[at + 1] = static_cast<ISC_STATUS>(std::strlen(text));
            vector[at + 2] = reinterpret_cast<ISC_STATUS>(text);
        } else if (IsTextClump(clump.Type)) {
            vector[at + 1] = reinterpret_cast<ISC_STATUS>(keep(clump.Text));
        } else {
            vector[at + 1] = static_cast<ISC_STATUS>(clump.Value);
        }
        at += ClumpWords(clump.Type);
    }
    vector[at] = isc_arg_end;
    return at;
}

inline void PutClumps(TWriter& out, const std::vector<TClump>& clumps) {
    out.U32(static_cast<std::uint32_t>(clumps.size()));
    for (const TClump& clump : clumps) {
        out.I64(clump.Type);
        if (IsTextClump(clump.Type)) {
            out.Bytes(clump.Text);
        } else {
            out.I64(clump.Value);
        }
    }
}

inline std::vector<TClump> GetClumps(TReader& in) {
    const std::uint32_t count = in.U32();
    std::vector<TClump> clumps;
    for (std::uint32_t i = 0; i < count && in.Ok(); ++i) {
        TClump clump;
        clump.Type = in.I64();
        if (clump.Type == isc_arg_end) {
            in.Fail();
        } else if (IsTextClump(clump.Type)) {
            clump.Text = in.Bytes();
        } else {
            clump.Value = in.I64();
        }
        clumps.push_back(std::move(clump));
    }
    return clumps;
}

// The caller's side: turns texts coming back into the caller's code page and keeps them alive
// after the call (BridgeClient.cpp).
const char* KeepCallerText(const std::string& utf8);
// The caller's side: the caller's status vector, written from the reply.
void TakeStatus(ISC_STATUS* caller, const std::vector<TClump>& clumps);

// The status vector of a call (its first argument). The helper's PutBack sends the real client's
// vector, or `Injected` when a fault mode put clumps there.
struct TStatus {
    TStatus() = default;
    explicit TStatus(ISC_STATUS* caller) : Caller(caller) {}
    ISC_STATUS* Caller = nullptr;
    void Put(TWriter&) const {}
    void Take(TReader& in) const {
        const std::vector<TClump> clumps = GetClumps(in);
        if (in.Ok()) {
            TakeStatus(Caller, clumps);
        }
    }

    ISC_STATUS_ARRAY Vector{};
    std::vector<TClump> Injected;
    bool Get(TReader&) { return true; }
    void PutBack(TWriter& out) const {
        PutClumps(out, Injected.empty() ? ReadVector(Vector, ISC_STATUS_LENGTH) : Injected);
    }
};

// A handle the call reads and may change, as its 32-bit value.
struct THandle {
    THandle() = default;
    explicit THandle(FB_API_HANDLE* caller) : Caller(caller) {}
    FB_API_HANDLE* Caller = nullptr;
    void Put(TWriter& out) const {
        out.U8(Caller != nullptr);
        out.U32(Caller != nullptr ? Value32(*Caller) : 0);
    }
    void Take(TReader& in) const {
        const std::uint32_t value = in.U32();
        if (in.Ok() && Caller != nullptr) {
            *Caller = FromValue32(value);
        }
    }
    static std::uint32_t Value32(FB_API_HANDLE handle) {
        return static_cast<std::uint32_t>((std::uintptr_t)(handle));
    }
    static FB_API_HANDLE FromValue32(std::uint32_t value) {
        return (FB_API_HANDLE)(static_cast<std::uintptr_t>(value));
    }

    bool Present = false;
    FB_API_HANDLE Value{};
    FB_API_HANDLE* Ptr() { return Present ? &Value : nullptr; }
    bool Get(TReader& in) {
        Present = in.U8() != 0;
        Value = FromValue32(in.U32());
        return in.Ok();
    }
    void PutBack(TWriter& out) const { out.U32(Value32(Value)); }
};

// A number the call reads (a dialect, an option, a code, a type).
struct TInt {
    TInt() = default;
    explicit TInt(std::int64_t value) : Value(value) {}
    std::int64_t Value = 0;
    void Put(TWriter& out) const { out.I64(Value); }
    void Take(TReader&) const {}
    bool Get(TReader& in) {
        Value = in.I64();
        return in.Ok();
    }
    void PutBack(TWriter&) const {}
};

// Bytes the call reads: a name, a parameter block, a request, an item list, a statement. `Given`
// is what the caller gave when the caller's side converted it into `Sent` (both are recorded).
struct TBytesIn {
    bool Present = false;
    std::string Sent;
    bool Converted = false;
    std::string Given;
    void Put(TWriter& out) const {
        out.U8(Present);
        out.Bytes(Sent);
        out.U8(Converted);
        if (Converted) {
            out.Bytes(Given);
        }
    }
    void Take(TReader&) const {}
    bool Get(TReader& in) {
        Present = in.U8() != 0;
        Sent = in.Bytes();
        Converted = in.U8() != 0;
        if (Converted) {
            Given = in.Bytes();
        }
        return in.Ok();
    }
    void PutBack(TWriter&) const {}
    const char* Data() const { return Present ? Sent.c_str() : nullptr; }
    const std::string& Caller() const { return Converted ? Given : Sent; }
};

// A reply buffer of the caller's length. The helper gives the real client a buffer of that
// length; the caller's side copies back at most that length whatever the reply holds.
struct TBufferOut {
    TBufferOut() = default;
    TBufferOut(char* caller, std::uint32_t length) : Caller(caller), Length(length) {}
    char* Caller = nullptr;
    std::uint32_t Length = 0;
    void Put(TWriter& out) const { out.U32(Caller != nullptr ? Length : 0); }
    void Take(TReader& in) const {
        const std::string reply = in.Bytes();
        if (in.Ok() && Caller != nullptr) {
            std::memcpy(Caller, reply.data(), std::min<std::size_t>(reply.size(), Length));
        }
    }

    std::string Buffer;
    std::size_t Oversize = 0;
    bool Get(TReader& in) {
        const std::uint32_t length = in.U32();
        if (length > MaxBuffer) {
            in.Fail();
        }
        Buffer.assign(in.Ok() ? length : 0, '\0');
        return in.Ok();
    }
    void PutBack(TWriter& out) const { out.Bytes(Buffer + std::string(Oversize, 'X')); }
    char* Data() { return Buffer.data(); }
};

// A message text the call writes: `Limit` is the caller's buffer size (0: the caller gives none,
// as with isc_interprete, so the text is as long as the real client makes it). Texts come back
// in UTF-8 and reach the caller in its code page, with the end mark inside the limit.
struct TTextOut {
    TTextOut() = default;
    TTextOut(char* caller, std::uint32_t limit) : Caller(caller), Limit(limit) {}
    char* Caller = nullptr;
    std::uint32_t Limit = 0;
    void Put(TWriter& out) const { out.U32(Limit); }
    void Take(TReader& in) const;

    std::string Buffer;
    std::size_t Oversize = 0;
    bool Get(TReader& in) {
        const std::uint32_t limit = in.U32();
        if (limit > MaxBuffer) {
            in.Fail();
        }
        Buffer.assign(limit == 0 ? 4096 : limit, '\0');
        return in.Ok();
    }
    void PutBack(TWriter& out) const {
        out.Bytes(std::string(Buffer.c_str()) + std::string(Oversize, 'X'));
    }
    char* Data() { return Buffer.data(); }
};

// A status vector the call reads (isc_sqlcode), or reads from a cursor that it moves on
// (isc_interprete, fb_interpret): the helper rebuilds it clump by clump, so the words a clump
// takes are the same on both sides and the cursor moves by what the real client moved it.
struct TVectorIn {
    const ISC_STATUS* Caller = nullptr;
    const ISC_STATUS** Cursor = nullptr;
    std::uint32_t SentWords = 0;
    void Put(TWriter& out) {
        const ISC_STATUS* vector = Cursor != nullptr ? *Cursor : Caller;
        const std::vector<TClump> clumps = ReadVector(vector, MaxVectorWords);
        SentWords = 0;
        for (const TClump& clump : clumps) {
            SentWords += static_cast<std::uint32_t>(ClumpWords(clump.Type));
        }
        PutClumps(out, clumps);
    }
    void Take(TReader& in) const {
        const std::uint32_t moved = in.U32();
        if (moved > SentWords + 1) {
            in.Fail();
        } else if (in.Ok() && Cursor != nullptr) {
            *Cursor += moved;
        }
    }

    std::vector<ISC_STATUS> Vector;
    std::deque<std::string> Texts;
    const ISC_STATUS* Position = nullptr;
    bool Get(TReader& in) {
        const std::vector<TClump> clumps = GetClumps(in);
        std::size_t words = 1;
        for (const TClump& clump : clumps) {
            words += ClumpWords(clump.Type);
        }
        Vector.assign(words, 0);
        WriteVector(clumps, Vector.data(), words,
                    [&](const std::string& text) { return Texts.emplace_back(text).c_str(); });
        Position = Vector.data();
        return in.Ok();
    }
    void PutBack(TWriter& out) const {
        out.U32(static_cast<std::uint32_t>(Position - Vector.data()));
    }
};

// The transaction blocks of isc_start_multiple: each database handle's value and its TPB.
struct TTeb {
    // The block as the client reads it (ibase.h declares no type for it).
    struct TBlock {
        FB_API_HANDLE* Database;
        int TpbLength;
        const char* Tpb;
    };
    TTeb() = default;
    TTeb(const TBlock* caller, std::int32_t count) : Caller(caller), Count(count) {}
    const TBlock* Caller = nullptr;
    std::int32_t Count = 0;
    void Put(TWriter& out) const {
        const std::int32_t count = Caller != nullptr ? std::max(Count, 0) : 0;
        out.U32(static_cast<std::uint32_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            const TBlock& block = Caller[i];
            out.U8(block.Database != nullptr);
            out.U32(block.Database != nullptr ? THandle::Value32(*block.Database) : 0);
            out.Bytes(block.Tpb != nullptr && block.TpbLength > 0
                          ? std::string_view(block.Tpb, static_cast<std::size_t>(block.TpbLength))
                          : std::string_view());
        }
    }
    void Take(TReader&) const {}

    std::vector<FB_API_HANDLE> Databases;
    std::vector<std::string> Tpbs;
    std::vector<TBlock> Blocks;
    bool Get(TReader& in) {
        const std::uint32_t count = in.U32();
        if (count > 256) {
            in.Fail();
        }
        Databases.assign(in.Ok() ? count : 0, FB_API_HANDLE{});
        std::vector<bool> present(Databases.size());
        for (std::size_t i = 0; i < Databases.size() && in.Ok(); ++i) {
            present[i] = in.U8() != 0;
            Databases[i] = THandle::FromValue32(in.U32());
            Tpbs.push_back(in.Bytes());
        }
        for (std::size_t i = 0; i < Tpbs.size(); ++i) {
            Blocks.push_back({present[i] ? &Databases[i] : nullptr,
                              static_cast<int>(Tpbs[i].size()), Tpbs[i].data()});
        }
        return in.Ok();
    }
    void PutBack(TWriter&) const {}
    short CountShort() const { return static_cast<short>(Blocks.size()); }
    void* Data() { return Blocks.empty() ? nullptr : Blocks.data(); }
};

// The bytes of a value as the XSQLVAR's data area holds it: a VARYING's two length bytes and
// its text, anything else sqllen bytes.
inline std::size_t DataSize(const XSQLVAR& var) {
    if (var.sqldata == nullptr || var.sqllen < 0) {
        return 0;
    }
    const auto length = static_cast<std::size_t>(var.sqllen);
    if ((var.sqltype & ~1) == SQL_VARYING) {
        std::uint16_t actual = 0;
        std::memcpy(&actual, var.sqldata, 2);
        return 2 + std::min<std::size_t>(actual, length);
    }
    return length;
}

inline std::size_t DataCapacity(const XSQLVAR& var) {
    const std::size_t length = var.sqllen > 0 ? static_cast<std::size_t>(var.sqllen) : 0;
    return (var.sqltype & ~1) == SQL_VARYING ? length + 2 : length;
}

// An XSQLDA, field by field. Describe: the caller gives its size (sqln) and receives the
// columns' descriptions. In: the caller's values go to the call. Out: the caller's layout goes
// out and the values come back into the caller's data areas.
struct TSqlda {
    enum class TUse { Describe, In, Out };
    TSqlda(TUse use, XSQLDA* caller) : Use(use), Caller(caller) {}
    TUse Use;
    XSQLDA* Caller;
    void Put(TWriter& out) const {
        out.U8(Caller != nullptr);
        if (Caller == nullptr) {
            return;
        }
        out.I64(Caller->version);
        out.I64(Caller->sqln);
        if (Use == TUse::Describe) {
            return;
        }
        const int count = std::max(0, std::min<int>(Caller->sqln, Caller->sqld));
        out.I64(count);
        for (int i = 0; i < count; ++i) {
            const XSQLVAR& var = Caller->sqlvar[i];
            out.I64(var.sqltype);
            out.I64(var.sqlscale);
            out.I64(var.sqlsubtype);
            out.I64(var.sqllen);
            if (Use == TUse::In) {
                out.U8(var.sqlind != nullptr);
                out.I64(var.sqlind != nullptr ? *var.sqlind : 0);
                out.U8(var.sqldata != nullptr);
                out.Bytes(
                    std::string_view(var.sqldata != nullptr ? var.sqldata : "", DataSize(var)));
            }
        }
    }
    void Take(TReader& in) const {
        if (Use == TUse::In) {
            return;
        }
        const std::int64_t sqld = in.I64();
        const std::uint32_t count = in.U32();
        for (std::uint32_t i = 0; i < count && in.Ok(); ++i) {
            const bool fits = Caller != nullptr && i < static_cast<std::uint32_t>(Caller->sqln);
            XSQLVAR scratch{};
            XSQLVAR& var = fits ? Caller->sqlvar[i] : scratch;
            if (Use == TUse::Describe) {
                var.sqltype = static_cast<ISC_SHORT>(in.I64());
                var.sqlscale = static_cast<ISC_SHORT>(in.I64());
                var.sqlsubtype = static_cast<ISC_SHORT>(in.I64());
                var.sqllen = static_cast<ISC_SHORT>(in.I64());
                TakeName(in, var.sqlname, var.sqlname_length);
                TakeName(in, var.relname, var.relname_length);
                TakeName(in, var.ownname, var.ownname_length);
                TakeName(in, var.aliasname, var.aliasname_length);
            } else {
                const std::int64_t indicator = in.I64();
                const std::string data = in.Bytes();
                if (in.Ok() && fits && var.sqlind != nullptr) {
                    *var.sqlind = static_cast<ISC_SHORT>(indicator);
                }
                if (in.Ok() && fits && var.sqldata != nullptr) {
                    std::memcpy(var.sqldata, data.data(), std::min(data.size(), DataCapacity(var)));
                }
            }
        }
        if (in.Ok() && Caller != nullptr && Use == TUse::Describe) {
            Caller->sqld = static_cast<ISC_SHORT>(sqld);
        }
    }
    static void TakeName(TReader& in, char (&name)[32], ISC_SHORT& length) {
        const std::string text = in.Bytes();
        const std::size_t size = std::min<std::size_t>(text.size(), sizeof name - 1);
        std::memcpy(name, text.data(), size);
        name[size] = '\0';
        length = static_cast<ISC_SHORT>(size);
    }

    bool Present = false;
    std::vector<char> Area;
    std::vector<std::string> Values;
    std::vector<ISC_SHORT> Indicators;
    XSQLDA* Data() { return Present ? reinterpret_cast<XSQLDA*>(Area.data()) : nullptr; }
    bool Get(TReader& in) {
        Present = in.U8() != 0;
        if (!Present) {
            return in.Ok();
        }
        const std::int64_t version = in.I64();
        const std::int64_t sqln = in.I64();
        if (sqln < 0 || sqln > 32767) {
            in.Fail();
            return false;
        }
        Area.assign(XSQLDA_LENGTH(std::max<std::int64_t>(sqln, 1)), '\0');
        XSQLDA& da = *Data();
        da.version = static_cast<ISC_SHORT>(version);
        da.sqln = static_cast<ISC_SHORT>(sqln);
        if (Use == TUse::Describe) {
            return in.Ok();
        }
        const std::int64_t count = in.I64();
        if (count < 0 || count > sqln) {
            in.Fail();
            return false;
        }
        da.sqld = static_cast<ISC_SHORT>(count);
        Values.resize(static_cast<std::size_t>(count));
        Indicators.assign(static_cast<std::size_t>(count), 0);
        for (std::size_t i = 0; i < Values.size() && in.Ok(); ++i) {
            XSQLVAR& var = da.sqlvar[i];
            var.sqltype = static_cast<ISC_SHORT>(in.I64());
            var.sqlscale = static_cast<ISC_SHORT>(in.I64());
            var.sqlsubtype = static_cast<ISC_SHORT>(in.I64());
            var.sqllen = static_cast<ISC_SHORT>(in.I64());
            bool hasIndicator = true;
            bool hasData = true;
            if (Use == TUse::In) {
                hasIndicator = in.U8() != 0;
                Indicators[i] = static_cast<ISC_SHORT>(in.I64());
                hasData = in.U8() != 0;
                Values[i] = in.Bytes();
            }
            Values[i].resize(std::max(Values[i].size(), DataCapacity(var) + 2), '\0');
            var.sqldata = hasData ? Values[i].data() : nullptr;
            var.sqlind = hasIndicator ? &Indicators[i] : nullptr;
        }
        return in.Ok();
    }
    void PutBack(TWriter& out) const {
        if (Use == TUse::In) {
            return;
        }
        const XSQLDA* da = Present ? reinterpret_cast<const XSQLDA*>(Area.data()) : nullptr;
        const int count = da != nullptr ? std::max(0, std::min<int>(da->sqln, da->sqld)) : 0;
        out.I64(da != nullptr ? da->sqld : 0);
        out.U32(static_cast<std::uint32_t>(count));
        for (int i = 0; i < count; ++i) {
            const XSQLVAR& var = da->sqlvar[i];
            if (Use == TUse::Describe) {
                out.I64(var.sqltype);
                out.I64(var.sqlscale);
                out.I64(var.sqlsubtype);
                out.I64(var.sqllen);
                out.Bytes(Name(var.sqlname, var.sqlname_length));
                out.Bytes(Name(var.relname, var.relname_length));
                out.Bytes(Name(var.ownname, var.ownname_length));
                out.Bytes(Name(var.aliasname, var.aliasname_length));
            } else {
                out.I64(var.sqlind != nullptr ? *var.sqlind : 0);
                out.Bytes(
                    std::string_view(var.sqldata != nullptr ? var.sqldata : "", DataSize(var)));
            }
        }
    }
    static std::string_view Name(const char (&name)[32], ISC_SHORT length) {
        return std::string_view(name, static_cast<std::size_t>(std::clamp<int>(length, 0, 32)));
    }
};

struct TSqldaDescribe : TSqlda {
    explicit TSqldaDescribe(XSQLDA* caller = nullptr) : TSqlda(TUse::Describe, caller) {}
};
struct TSqldaIn : TSqlda {
    explicit TSqldaIn(XSQLDA* caller = nullptr) : TSqlda(TUse::In, caller) {}
};
struct TSqldaOut : TSqlda {
    explicit TSqldaOut(XSQLDA* caller = nullptr) : TSqlda(TUse::Out, caller) {}
};

// The forwarded entry points with the kinds of their arguments, in the order of the C
// signature's arguments (a byte string stands for its length and its pointer).
#define BRIDGE_FORWARDED(X)                                                                        \
    X(isc_attach_database, TStatus, TBytesIn, THandle, TBytesIn)                                   \
    X(isc_create_database, TStatus, TBytesIn, THandle, TBytesIn, TInt)                             \
    X(isc_detach_database, TStatus, THandle)                                                       \
    X(isc_drop_database, TStatus, THandle)                                                         \
    X(isc_database_info, TStatus, THandle, TBytesIn, TBufferOut)                                   \
    X(isc_service_attach, TStatus, TBytesIn, THandle, TBytesIn)                                    \
    X(isc_service_detach, TStatus, THandle)                                                        \
    X(isc_service_start, TStatus, THandle, THandle, TBytesIn)                                      \
    X(isc_service_query, TStatus, THandle, THandle, TBytesIn, TBytesIn, TBufferOut)                \
    X(isc_start_multiple, TStatus, THandle, TTeb)                                                  \
    X(isc_commit_transaction, TStatus, THandle)                                                    \
    X(isc_commit_retaining, TStatus, THandle)                                                      \
    X(isc_rollback_transaction, TStatus, THandle)                                                  \
    X(isc_rollback_retaining, TStatus, THandle)                                                    \
    X(isc_dsql_allocate_statement, TStatus, THandle, THandle)                                      \
    X(isc_dsql_alloc_statement2, TStatus, THandle, THandle)                                        \
    X(isc_dsql_prepare, TStatus, THandle, THandle, TBytesIn, TInt, TSqldaDescribe)                 \
    X(isc_dsql_describe, TStatus, THandle, TInt, TSqldaDescribe)                                   \
    X(isc_dsql_describe_bind, TStatus, THandle, TInt, TSqldaDescribe)                              \
    X(isc_dsql_execute, TStatus, THandle, THandle, TInt, TSqldaIn)                                 \
    X(isc_dsql_execute2, TStatus, THandle, THandle, TInt, TSqldaIn, TSqldaOut)                     \
    X(isc_dsql_fetch, TStatus, THandle, TInt, TSqldaOut)                                           \
    X(isc_dsql_free_statement, TStatus, THandle, TInt)                                             \
    X(isc_dsql_sql_info, TStatus, THandle, TBytesIn, TBufferOut)                                   \
    X(isc_dsql_execute_immediate, TStatus, THandle, THandle, TBytesIn, TInt, TSqldaIn)             \
    X(isc_sqlcode, TVectorIn)                                                                      \
    X(isc_interprete, TTextOut, TVectorIn)                                                         \
    X(fb_interpret, TTextOut, TVectorIn)                                                           \
    X(isc_sql_interprete, TInt, TTextOut)

// Request 0 opens a connection: protocol version, the caller's pointer size in bits, the fault
// mode and the record file asked for by the caller's environment (empty: the helper's own).
enum class TCallId : std::uint32_t {
    Hello = 0,
#define BRIDGE_ID(name, ...) name,
    BRIDGE_FORWARDED(BRIDGE_ID)
#undef BRIDGE_ID
};

template <TCallId Id> struct TKinds;
#define BRIDGE_KINDS(name, ...)                                                                    \
    template <> struct TKinds<TCallId::name> {                                                     \
        using Type = std::tuple<__VA_ARGS__>;                                                      \
        static constexpr const char* Name = #name;                                                 \
    };
BRIDGE_FORWARDED(BRIDGE_KINDS)
#undef BRIDGE_KINDS

inline const char* CallName(std::uint32_t id) {
    static constexpr const char* names[] = {"hello",
#define BRIDGE_NAME(name, ...) #name,
                                            BRIDGE_FORWARDED(BRIDGE_NAME)
#undef BRIDGE_NAME
    };
    return id < std::size(names) ? names[id] : nullptr;
}

} // namespace bridge
