#pragma once
// The tree's folder nodes by key and the keys by node. A key is a folder's full path, upper-cased and
// ending in "\"; a folder not yet opened holds one placeholder, keyed by the folder's key and "@", which
// no folder's key can equal since a folder's ends in "\".
#include <string>
#include <unordered_map>

template <class Item>
class FolderNodes {
public:
    static std::wstring PlaceholderKey(const std::wstring& folderKey) { return folderKey + L"@"; }

    // The node of a key, or a null item.
    Item Find(const std::wstring& key) const
    {
        auto found = items_.find(key);
        return found == items_.end() ? Item{} : found->second;
    }
    // The key of a node, or empty.
    std::wstring KeyOf(Item item) const
    {
        auto found = keys_.find(item);
        return found == keys_.end() ? std::wstring() : found->second;
    }
    void Add(const std::wstring& key, Item item)
    {
        items_[key] = item;
        keys_[item] = key;
    }
    void Remove(const std::wstring& key)
    {
        auto found = items_.find(key);
        if (found == items_.end())
            return;
        keys_.erase(found->second);
        items_.erase(found);
    }

private:
    std::unordered_map<std::wstring, Item> items_;
    std::unordered_map<Item, std::wstring> keys_;
};
