#pragma once
// The registry side of the journal, in the registration host: a call recorded with its keys' trees just
// before and just after it, and an entry undone. Paths are read through the host's own registry view.
#include "register/pure/Journal.h"
#include <functional>
#include <string>
#include <vector>

// Registers or unregisters the file as a journaled operation does and returns its entry; call(registering)
// runs the registration library on the file and returns its code. Throws platform::Failure when the
// registry cannot be redirected or read.
JournalEntry JournaledCall(const std::function<long(bool)>& call, bool registering, JournalScope scope, const std::wstring& path);

// Undoes the entry and names the values kept because they changed since. Throws platform::Failure
// when a key cannot be read or written.
std::vector<std::wstring> UndoEntry(const JournalEntry& entry);
