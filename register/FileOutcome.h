#pragma once
// What asking a host about one file or entry came to: the library's code and why, then what the
// operation brings back, each operation's in a part of its own.
#include <optional>
#include <string>
#include <vector>

struct CaptureResult {
    std::wstring regText; // what registering wrote, as .reg text
    unsigned long keys = 0, values = 0;
};
struct JournalResult {
    std::wstring entryText;  // for the window's journal; empty where the host kept the entry itself
    unsigned long changes = 0;
    unsigned long error = 0; // why the host could not keep the entry
};
struct UndoResult {
    std::vector<std::wstring> kept;    // trees and values left as they were changed since
    std::vector<std::wstring> refused; // keys a host with administrator rights leaves to the user
    unsigned long changes = 0;         // the entry's
};
// The library's code (none when the host never answered) and why, when the program knows.
struct FileOutcome {
    std::optional<long> code;
    std::wstring why;
    CaptureResult capture;
    JournalResult journal;
    UndoResult undo;
};
