#pragma once
// The program's user-visible texts live in the string table of the resource script.
#include <string>

std::wstring Text(unsigned id);
