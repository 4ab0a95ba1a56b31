#pragma once
// Records, while it lives, what the registry's writing functions change when anything in this process
// calls them: the server, or any DLL it calls (the type-library functions, the ATL registrar, shell
// helpers), through their import tables, late-loaded ones too. Each key and value is taken as it was
// just before it first changed.
#include "register/host/RealKeys.h"
#include "register/pure/ChangeLog.h"
#include <mutex>

// A write as the hooks see it: a key (predefined or open), the sub-key it names (or none), the view the
// caller asked for, and what it does there.
struct RegistryWrite {
    enum class Touch { CreateKey, SetValue, DeleteValue, DeleteKey, EmptyKey };
    HKEY key;
    std::wstring sub;
    REGSAM view;
    Touch touch;
    std::wstring value; // SetValue, DeleteValue: the value's name
};

class ChangeRecorder {
public:
    // Points every module's imports of the writing functions at hooks that report here, which read
    // through `keys`. Throws platform::Failure.
    explicit ChangeRecorder(const RealKeys& keys);
    ~ChangeRecorder();
    ChangeRecorder(const ChangeRecorder&) = delete;
    ChangeRecorder& operator=(const ChangeRecorder&) = delete;

    // Ends the recording and reads what the call left. Throws platform::Failure.
    JournalEntry Finish();

    // For the hooks: before the write, and after it succeeded, with the key it opened where it opens one.
    struct Pending {
        int missing = 0; // keys the write creates below the deepest one that exists
    };
    Pending Before(const RegistryWrite& write);
    void After(const RegistryWrite& write, const Pending& pending, HKEY opened);

private:
    struct Probe {
        std::optional<std::wstring> path; // the key, where it exists
        int missing = 0;                  // else how many of the sub-key's parts do not exist
    };
    Probe Find(HKEY key, const std::wstring& sub, REGSAM view) const;

    const RealKeys& keys_;
    ChangeLog log_;
    std::mutex lock_;
    bool finished_ = false;
};
