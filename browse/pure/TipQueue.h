#pragma once
// The rows whose tips wait to be read, the newest first: the pointer rests on the row asked for last,
// and the rows it swept over on its way there wait behind it, the oldest dropped beyond a few.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

class TipQueue {
public:
    explicit TipQueue(std::size_t capacity) : capacity_(capacity) {}
    // Puts the path first, where it waits once however often it is asked for.
    void Ask(const std::wstring& path);
    std::optional<std::wstring> Next();
    bool Empty() const { return paths_.empty(); }
    void Clear() { paths_.clear(); }

private:
    std::size_t capacity_;
    std::deque<std::wstring> paths_; // the newest first
};
