#pragma once
// Notice of changes below registry keys, made by this process or any other.
#include "platform/UniqueHandle.h"

#include <windows.h>
#include <string>
#include <vector>

// The key's full name in the registry ("\REGISTRY\MACHINE\SOFTWARE\..."): one name for every handle of a
// key, whatever root, view or mapping of a root it was opened through. Empty when the system does not tell.
std::wstring KeyName(HKEY o_Key);

// Key names compare without letter case.
bool SameKeyName(const std::wstring& o_Left, const std::wstring& o_Right);

// Watches whole subtrees for keys made or removed and values set. A watch fires once; Clear and Add
// again to go on watching.
class RegistryWatches {
public:
    // Watches o_SubKey below o_Root in the view o_View, or, when it does not exist, its nearest existing
    // parent below the root (so that its creation is seen). A key watched already is not watched twice.
    // False when no watch could be set.
    bool Add(HKEY o_Root, const std::wstring& o_SubKey, REGSAM o_View = 0);
    // A change since the watches were set; true as well when none is set.
    bool Fired() const;
    void Clear() { watches_.clear(); }

private:
    struct Watch {
        platform::UniqueKey key;
        platform::UniqueHandle event;
        std::wstring name;
    };
    std::vector<Watch> watches_;
};
