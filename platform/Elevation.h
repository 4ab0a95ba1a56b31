#pragma once
// Administrator rights: whether this process holds them, starting a program with them after the
// system's prompt, and the shield that marks the commands asking for them. Tests, which run where
// every process holds them, install their own Elevation to act the limited window and the prompt.
#include "platform/UniqueHandle.h"
#include <string>
#include <vector>

namespace platform {

class Elevation {
public:
    virtual ~Elevation() = default;
    virtual bool ProcessIsElevated();
    // Starts a program with administrator rights, the prompt owned by `owner`: the process handle, or
    // the system's error, ERROR_CANCELLED when the user declined.
    virtual DWORD StartElevated(HWND owner, const std::wstring& executable, const std::wstring& parameters,
                                UniqueHandle& process);
};

// Installs an Elevation for the tests; nullptr restores the system's.
void SetElevation(Elevation* elevation);
Elevation& CurrentElevation();

// Security attributes whose access list admits the user of this process alone: for an object that an
// elevated process of the same user opens by name.
class CurrentUserOnly {
public:
    CurrentUserOnly() = default;
    CurrentUserOnly(const CurrentUserOnly&) = delete;
    CurrentUserOnly& operator=(const CurrentUserOnly&) = delete;
    // ERROR_SUCCESS, or why the process's user or the list could not be had.
    DWORD Build();
    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

private:
    std::vector<std::uint8_t> user_, list_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

// The system's shield as a menu item's picture, `size` pixels square; none when the system has none.
UniqueBitmap ShieldBitmap(int size);

} // namespace platform
