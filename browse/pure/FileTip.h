#pragma once
// The info tip of a file list row: what the file's headers and version resource say, read without running it.
#include "pe/pure/PeImage.h"
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct FileTipFacts {
    bool readable = false;
    pe::Machine machine = pe::Machine::NotPe;
    std::uint16_t machineCode = 0;
    bool exportsRegister = false, exportsUnregister = false, hasTypeLib = false;
    bool damaged = false; // cut short or inconsistent: nothing beyond the machine is to be believed
    std::wstring version, description; // empty when the file has no version resource
    std::vector<std::wstring> missingDlls;
    std::vector<std::wstring> findings; // lines of their own at the end: missing functions, deeper links, .NET
};

// One line per fact, with the texts of the string table that text(id) gives.
std::wstring ComposeFileTip(const FileTipFacts& facts, const std::function<std::wstring(unsigned)>& text);

// Puts the tip into a buffer of size characters, after what the buffer already holds when appending; cuts
// the tip short rather than write past the end, and never between the halves of a surrogate pair.
void WriteFileTip(std::wstring_view tip, wchar_t* buffer, int size, bool append);
