#pragma once
// The PE facts of a file on disk and the DLLs it imports that the loader would not find.
#include "register/pure/PeImage.h"
#include <optional>
#include <string>
#include <vector>

// The file's first `limit` bytes, or all of a shorter file; nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, unsigned long long limit);

// nullopt: the file cannot be read.
std::optional<pe::ImageFacts> ReadImageFile(const std::wstring& path);

// DLL names among facts.imports found in none of: the file's folder, the system folder of the image's
// bitness (SysWOW64 for x86 on 64-bit Windows, the real System32 for x64 even from a 32-bit process:
// Sysnative), the Windows folder, the folders of PATH. api-ms-win-* and ext-ms-* API-set names count as present.
std::vector<std::wstring> MissingDependencies(const std::wstring& path, const pe::ImageFacts& facts);
