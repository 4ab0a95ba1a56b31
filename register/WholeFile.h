#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The bytes as the whole of the file, which is made or replaced. Throws platform::Failure.
void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
