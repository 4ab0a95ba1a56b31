#pragma once
// Redirections of the predefined registry keys, for the registration host only: they hold for the
// whole process. One registers a server for the current user alone; the other lets a server write
// into a private scratch key, so that what it wrote can be read back without reaching the registry.
#include "platform/UniqueHandle.h"
#include "register/pure/RegFileText.h"
#include <string>
#include <vector>

// The keys of a tree, each under displayPath followed by its path below key, parents first:
// every key that holds values or has no sub-keys, sub-keys opened in the view given. Throws platform::Failure.
std::vector<RegKeyRecord> ReadRegistryTree(HKEY key, const std::wstring& displayPath, REGSAM view = 0);

// Predefined keys pointed elsewhere, each pointed back when this goes.
class PredefinedKeyOverrides {
public:
    PredefinedKeyOverrides() = default;
    ~PredefinedKeyOverrides();
    PredefinedKeyOverrides(const PredefinedKeyOverrides&) = delete;
    PredefinedKeyOverrides& operator=(const PredefinedKeyOverrides&) = delete;

    // Throws platform::Failure; what was redirected before stays recorded for the restore.
    void Redirect(HKEY predefined, HKEY target);

private:
    std::vector<HKEY> redirected_;
};

// HKEY_CLASSES_ROOT -> HKCU\Software\Classes and HKEY_LOCAL_MACHINE -> HKEY_CURRENT_USER while it lives.
class PerUserRedirect {
public:
    // Throws platform::Failure, leaving nothing redirected.
    PerUserRedirect();

private:
    platform::UniqueKey classes_, user_;
    PredefinedKeyOverrides overrides_;
};

// HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS pointed into a new key
// under HKCU\Software\Mirdal\Capture while it lives; that key is deleted with everything in it
// when this goes, however it goes.
class RegistryCapture {
public:
    // Throws platform::Failure, leaving nothing redirected and no scratch key behind.
    RegistryCapture();

    // What was written under the four roots, under their real names (HKEY_CLASSES_ROOT\...).
    // Throws platform::Failure.
    std::vector<RegKeyRecord> Read() const;

    // Deletes the scratch keys of captures whose process ended before it could; those of hosts still
    // running stay.
    static void RemoveLeftovers();

private:
    class ScratchKey {
    public:
        ScratchKey();
        ~ScratchKey();
        ScratchKey(const ScratchKey&) = delete;
        ScratchKey& operator=(const ScratchKey&) = delete;
        HKEY Get() const { return key_.get(); }

    private:
        platform::UniqueKey parent_, key_;
        std::wstring name_;
    };

    ScratchKey scratch_;
    platform::UniqueKey roots_[4];
    // Last, so that the keys are pointed back before the scratch key goes.
    PredefinedKeyOverrides overrides_;
};
