#pragma once
// The file list's rows, in list order, found again by key and sorted by a column.
#include "browse/pure/FileText.h"
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class FileRows {
public:
    // Below, at or above zero as the first text sorts before, with or after the second.
    using Compare = std::function<int(const std::wstring&, const std::wstring&)>;

    void Clear();
    void Add(FileRow row);
    // The position of a key (full path), or -1.
    int Find(const std::wstring& key) const;
    // Sorts by a column (0 name, 1 size, 2 type, 3 date), keeping the order of equal rows; returns for
    // each new position the row's old one, so that what belongs to the rows can follow them.
    std::vector<std::size_t> SortBy(int column, bool descending, const Compare& compare);

    const std::vector<FileRow>& Rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }
    const FileRow& operator[](std::size_t index) const { return rows_[index]; }
    auto begin() const { return rows_.begin(); }
    auto end() const { return rows_.end(); }

private:
    std::vector<FileRow> rows_;
    std::unordered_map<std::wstring, int> index_;
};
