#pragma once
#include <string>

// The system's text for an error, read without its inserts, with every insert (%1 ... %99, with or
// without a !format!) replaced by the given text, or taken out with its spacing when there is none:
// a raw "%1" never reaches the user.
std::wstring FillInserts(const std::wstring& text, const std::wstring& insert);
