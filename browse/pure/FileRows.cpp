#include "browse/pure/FileRows.h"
#include <algorithm>
#include <numeric>

void FileRows::Clear()
{
    rows_.clear();
    index_.clear();
}

void FileRows::Add(FileRow row)
{
    index_.emplace(row.key, static_cast<int>(rows_.size()));
    rows_.push_back(std::move(row));
}

int FileRows::Find(const std::wstring& key) const
{
    auto found = index_.find(key);
    return found == index_.end() ? -1 : found->second;
}

std::vector<std::size_t> FileRows::SortBy(int column, bool descending, const Compare& compare)
{
    auto field = [column](const FileRow& row) -> const std::wstring& {
        switch (column) {
        case 1: return row.size;
        case 2: return row.type;
        case 3: return row.date;
        default: return row.name;
        }
    };
    std::vector<std::size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        int c = compare(field(rows_[a]), field(rows_[b]));
        return descending ? c > 0 : c < 0;
    });
    std::vector<FileRow> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(rows_[i]));
    Clear();
    for (FileRow& row : sorted)
        Add(std::move(row));
    return order;
}
