#pragma once
// The program's user-visible texts live in the string table of the resource script.
#include <initializer_list>
#include <string>

std::wstring Text(unsigned id);
// The text with %1, %2, ... replaced by the arguments, in one pass: a path that holds "%2" stays as it is.
std::wstring Text(unsigned id, std::initializer_list<std::wstring> arguments);

// The string table's wording of a sentence of why a server does not load (pe/LoadFailure.h).
enum class LoadSentence : int;
std::wstring LoadText(LoadSentence sentence, std::initializer_list<std::wstring> arguments);
