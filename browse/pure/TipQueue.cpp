#include "browse/pure/TipQueue.h"
#include <algorithm>

void TipQueue::Ask(const std::wstring& path)
{
    if (auto waiting = std::find(paths_.begin(), paths_.end(), path); waiting != paths_.end())
        paths_.erase(waiting);
    paths_.push_front(path);
    if (paths_.size() > capacity_)
        paths_.pop_back();
}

std::optional<std::wstring> TipQueue::Next()
{
    if (paths_.empty())
        return std::nullopt;
    std::wstring path = std::move(paths_.front());
    paths_.pop_front();
    return path;
}
