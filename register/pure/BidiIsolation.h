#pragma once
// Text from outside (paths, window titles) in a log line: bidirectional controls in it must not turn
// the rest of the line around, as a right-to-left override in "evil\u202Eexe.dll" would.
#include <string>

// Text that holds bidirectional controls, between FIRST STRONG ISOLATE (U+2068) and POP DIRECTIONAL
// ISOLATE (U+2069), balanced so that its own isolates neither close that one early nor keep it open;
// any other text unchanged.
std::wstring BidiIsolated(const std::wstring& text);
