#pragma once
// The registry side of the journal, in the registration host: one call recorded as it changes the
// registry, and an entry undone.
#include "register/pure/Journal.h"
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// Registers or unregisters the file once, through call(registering), recording what the call changes.
// Throws platform::Failure when the registry cannot be redirected or the recording cannot start.
JournalEntry JournaledCall(const std::function<long(bool)>& call, bool registering, JournalScope scope, const std::wstring& path);

// Deletes the key's whole tree in the view given (KEY_WOW64_32KEY or KEY_WOW64_64KEY), recording it.
// Throws platform::Failure when the key is not one of the roots a journal names or the recording cannot start.
JournalEntry JournaledDelete(const std::wstring& key, REGSAM view);

struct UndoOutcome {
    std::vector<std::wstring> kept;    // changed since the run, left whole
    std::vector<std::wstring> refused; // outside HKEY_CURRENT_USER in an entry these rights may not act on
};

// Undoes the entry; with userKeysOnly, what lies outside HKEY_CURRENT_USER is refused and left.
// Throws platform::Failure when a key cannot be read or written.
UndoOutcome UndoEntry(JournalEntry entry, bool userKeysOnly);
