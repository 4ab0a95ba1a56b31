#pragma once
// The codes with which a server says that it was refused the registry or a file: what administrator
// rights would cure.
#include <cstdint>

// TYPE_E_REGISTRYACCESS: RegisterTypeLib could not write the registry. The system has no text for it.
inline constexpr std::uint32_t kTypeLibRegistryAccess = 0x8002801Cu;

bool IsAccessDenied(std::uint32_t code);
