#pragma once
// The registry's keys by the names the journal gives them (HKEY_LOCAL_MACHINE\..., HKEY_CURRENT_USER\...,
// HKEY_USERS\...), always in the 64-bit view, from roots that no redirection of the predefined keys
// reaches: a path with Wow6432Node in it names exactly that key, in a host of either bitness.
#include "platform/UniqueHandle.h"
#include "register/pure/Journal.h"
#include <optional>
#include <string>

class RealKeys {
public:
    // Throws platform::Failure.
    RealKeys();

    // Nullopt where there is no such key; throws platform::Failure for any other refusal.
    std::optional<platform::UniqueKey> Open(const std::wstring& path, REGSAM access) const;
    platform::UniqueKey Create(const std::wstring& path) const;
    // The journal's name of an open key, predefined ones too; nullopt where the system will not say.
    std::optional<std::wstring> NameOf(HKEY key) const;

    std::optional<RegTree> Tree(const std::wstring& path) const;
    PresentState::Value Value(const std::wstring& path, const std::wstring& name) const;
    // The key's tree removed, then `tree` written in its place. Throws platform::Failure.
    void Replace(const std::wstring& path, const std::optional<RegTree>& tree) const;
    // The value set, or removed where none. Throws platform::Failure.
    void Put(const std::wstring& key, const std::wstring& name, const std::optional<RegValue>& value) const;

private:
    std::pair<HKEY, std::wstring> Split(const std::wstring& path) const;

    platform::UniqueKey machine_, users_, user_;
    std::wstring sid_;
};
