#pragma once
// What Mirdal.exe and its registration host MirdalHost.exe say to each other over their pipe.
//
// The host first sends the ready word, once it has loaded its library and can report its own crash.
// Then one request at a time, one reply to each, all fields little-endian 32-bit words:
//   request: operation, lengths in UTF-16 units of its text and of its journal text, the two texts
//            (no terminators);
//   reply:   status, library code, host GetLastError after a load failure (or why the registry could
//            not be redirected), number of keys and of values, why the journal could not be written,
//            payload length in UTF-16 units, the payload.
// The text is the file's path, or what the operation names. Capture fills the counts and the payload:
// what the server wrote, as the keys' .reg text without the file's header, and only when the library
// returned 0. A journaled operation replies with the entry's text, or writes it into the administrators'
// journal that its journal text names and replies with nothing.
// A host whose server raised an exception that nothing handled replies Crashed before it ends: the
// exception code in place of the library's, the faulting address's offset in its module in place of
// lastError, and the module's file name (empty where the address lies in none) as the payload, followed
// for the delay-load helper's exceptions by the DLL and the function it could not find.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace host_protocol {

// The registration library's own codes; any other code is the server's HRESULT.
inline constexpr std::int32_t kOleInitFailed = -1;
inline constexpr std::int32_t kLoadFailed = -2;
inline constexpr std::int32_t kEntryMissing = -3;

enum class Operation : std::uint32_t {
    Register = 1,
    Unregister = 2,
    RegisterPerUser = 3,   // HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE point under HKEY_CURRENT_USER meanwhile
    UnregisterPerUser = 4,
    Capture = 5,           // registers into a scratch key and replies with what was written
    // As the four above, the one call recorded as it changes the registry; keys counts the changes.
    JournalRegister = 6,
    JournalUnregister = 7,
    JournalRegisterPerUser = 8,
    JournalUnregisterPerUser = 9,
    // The text is a journal entry's; the entry is undone, and only under HKEY_CURRENT_USER by a host
    // with administrator rights. The payload names each key or value kept ("K" before it) or refused
    // ("R"), one a line; keys counts the entry's changes; the code is 0 or the HRESULT of the registry's failure.
    Undo = 10,
    // As Undo, for the entry numbered by the journal text in the administrators' run the text names.
    UndoStored = 11,
    // Marks the administrators' run that this host took as undone, and lets it go.
    MarkStoredUndone = 12,
    // The text is the view to open a key in ("64" or "32"), a line end, and the key (HKEY_LOCAL_MACHINE\...
    // or HKEY_CURRENT_USER\...): its whole tree is deleted, recorded as a journaled call's changes, the
    // entry named after the key; the code is 0 or the HRESULT of the registry's failure.
    DeleteKeyJournaled = 13,
    // Takes the administrators' run the text names for an undo, reading it again: code 0, or
    // kRunAlreadyUndone and nothing taken. Taking another, or ReleaseStored, lets it go.
    ClaimStored = 16,
    ReleaseStored = 17,
};

inline constexpr std::int32_t kRunAlreadyUndone = 1;

// What a reply's payload holds after the operation.
enum class Payload { Nothing, RegText, JournalEntry, UndoFindings };
inline Payload PayloadOf(Operation operation)
{
    switch (operation) {
    case Operation::Capture: return Payload::RegText;
    case Operation::JournalRegister:
    case Operation::JournalUnregister:
    case Operation::JournalRegisterPerUser:
    case Operation::JournalUnregisterPerUser:
    case Operation::DeleteKeyJournaled: return Payload::JournalEntry;
    case Operation::Undo:
    case Operation::UndoStored: return Payload::UndoFindings;
    default: return Payload::Nothing;
    }
}

// The journaled form of a registration or unregistration; any other operation as it is.
inline Operation Journaled(Operation operation)
{
    switch (operation) {
    case Operation::Register: return Operation::JournalRegister;
    case Operation::Unregister: return Operation::JournalUnregister;
    case Operation::RegisterPerUser: return Operation::JournalRegisterPerUser;
    case Operation::UnregisterPerUser: return Operation::JournalUnregisterPerUser;
    default: return operation;
    }
}

enum class Status : std::uint32_t {
    Done = 0,          // the library was called; its code stands in the reply
    NoLibrary = 1,     // Pemrix32.DLL beside the host cannot be loaded: lastError says why
    UnknownOperation = 2,
    RegistryFailed = 3, // the redirection or the capture failed, or its text is too long: lastError says why
    Crashed = 4,
};

inline constexpr std::uint32_t kReadyWord = 0x5944524Du; // "MRDY"

struct Reply {
    Status status = Status::Done;
    std::int32_t code = 0;
    std::uint32_t lastError = 0;
    std::uint32_t keys = 0, values = 0;
    std::uint32_t journalError = 0;
    std::u16string payload;
};

inline constexpr std::size_t kHeaderBytes = 12;      // request: operation and the two lengths
inline constexpr std::size_t kReplyHeaderBytes = 28; // reply: status, code, lastError, keys, values, journalError, payload length
inline constexpr std::size_t kPayloadLengthOffset = 24;
// A text longer than this is refused: far beyond any journal entry a server's registration makes.
inline constexpr std::uint32_t kMaxTextUnits = 1u << 27;

inline void PutWord(std::vector<std::uint8_t>& out, std::uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(word >> shift));
}

inline std::uint32_t Word(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8
           | static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void PutText(std::vector<std::uint8_t>& out, const std::u16string& text)
{
    for (char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

inline std::u16string Text(const std::uint8_t* bytes, std::size_t units)
{
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return text;
}

inline std::vector<std::uint8_t> EncodeRequest(Operation operation, const std::u16string& text, const std::u16string& journal = {})
{
    std::vector<std::uint8_t> out;
    PutWord(out, static_cast<std::uint32_t>(operation));
    PutWord(out, static_cast<std::uint32_t>(text.size()));
    PutWord(out, static_cast<std::uint32_t>(journal.size()));
    PutText(out, text);
    PutText(out, journal);
    return out;
}

inline std::vector<std::uint8_t> EncodeReply(const Reply& reply)
{
    std::vector<std::uint8_t> out;
    PutWord(out, static_cast<std::uint32_t>(reply.status));
    PutWord(out, static_cast<std::uint32_t>(reply.code));
    PutWord(out, reply.lastError);
    PutWord(out, reply.keys);
    PutWord(out, reply.values);
    PutWord(out, reply.journalError);
    PutWord(out, static_cast<std::uint32_t>(reply.payload.size()));
    PutText(out, reply.payload);
    return out;
}

// The crash reply, written into memory the dying host already owns: its heap may be what broke.
// For an exception of the delay-load helper, `delayed` is "DLL", NUL, "function", put after the module
// name and a NUL. Returns the bytes used; what does not fit is left out, the delay-load names first.
inline std::size_t EncodeCrashReply(std::uint32_t exceptionCode, std::uint32_t offset, const wchar_t* module,
                                    std::size_t units, std::uint8_t* out, std::size_t capacity,
                                    const wchar_t* delayed = nullptr, std::size_t delayedUnits = 0)
{
    if (capacity < kReplyHeaderBytes)
        return 0;
    if (kReplyHeaderBytes + 2 * (units + 1 + delayedUnits) > capacity)
        delayedUnits = 0;
    if (kReplyHeaderBytes + 2 * units > capacity)
        units = 0;
    const std::size_t total = units + (delayedUnits ? 1 + delayedUnits : 0);
    const std::uint32_t words[] = {static_cast<std::uint32_t>(Status::Crashed), exceptionCode, offset, 0, 0, 0,
                                   static_cast<std::uint32_t>(total)};
    for (std::size_t i = 0; i < std::size(words); ++i)
        for (std::size_t b = 0; b < 4; ++b)
            out[4 * i + b] = static_cast<std::uint8_t>(words[i] >> (8 * b));
    for (std::size_t i = 0; i < total; ++i) {
        wchar_t unit = i < units ? module[i] : i == units ? L'\0' : delayed[i - units - 1];
        out[kReplyHeaderBytes + 2 * i] = static_cast<std::uint8_t>(unit);
        out[kReplyHeaderBytes + 2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return kReplyHeaderBytes + 2 * total;
}

// A crash reply's payload: the module, then what the delay-load helper named, the DLL and the function;
// each empty where the reply has none.
struct CrashPlace {
    std::u16string module, dll, function;
};

inline CrashPlace DecodeCrashPayload(const std::u16string& payload)
{
    CrashPlace place;
    std::u16string* parts[] = {&place.module, &place.dll, &place.function};
    std::size_t part = 0;
    for (char16_t unit : payload) {
        if (unit == u'\0')
            part = std::min<std::size_t>(part + 1, 2);
        else
            parts[part]->push_back(unit);
    }
    return place;
}

// Units of text that follow a header; nullopt when the header asks for more than is allowed.
inline std::optional<std::size_t> TextUnits(const std::uint8_t* header, std::size_t lengthOffset)
{
    std::uint32_t units = Word(header + lengthOffset);
    if (units > kMaxTextUnits)
        return std::nullopt;
    return units;
}

inline Reply DecodeReplyHeader(const std::uint8_t* header)
{
    Reply reply;
    reply.status = static_cast<Status>(Word(header));
    reply.code = static_cast<std::int32_t>(Word(header + 4));
    reply.lastError = Word(header + 8);
    reply.keys = Word(header + 12);
    reply.values = Word(header + 16);
    reply.journalError = Word(header + 20);
    return reply;
}

// An exit code of the warning or error severity (0x8..., 0xC..., and so 0xE06D7363, what a C++ exception
// escaping a server raises) is an exception code: the host crashed. Any other is the code a server ended it with.
inline bool IsExceptionCode(std::uint32_t exitCode)
{
    return (exitCode & 0x80000000u) != 0;
}

} // namespace host_protocol
