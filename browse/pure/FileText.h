#pragma once
// Texts of the file list, formed so that their text order is meaningful when sorted.
#include <string>
#include <vector>

// One listed file.
struct FileRow {
    std::wstring key;  // Full path: folder as given plus name as listed.
    std::wstring name; // The name as listed.
    std::wstring size; // Length in bytes, right-aligned in 10 characters.
    std::wstring type; // Upper-cased extension.
    std::wstring date; // Local time of last change, year to minute.
};

// The text after the last "." of the last path component, in its own case; empty without a ".".
std::wstring GetExtension(const std::wstring& name);
// Upper-cases the ASCII letters only, as extensions are compared.
std::wstring UpperAscii(std::wstring text);
// True for the extensions the list shows (DLL and OCX, any case).
bool IsListedExtension(const std::wstring& upperExtension);
// A length right-aligned in a field of 10 characters; longer numbers are shown whole.
std::wstring FormatFileSize(unsigned long long length);
// "yyyy/mm/dd hh:nn" with the locale's date and time separators; the fields are never negative.
std::wstring FormatFileDate(int year, int month, int day, int hour, int minute, const std::wstring& dateSeparator,
                            const std::wstring& timeSeparator);

// The row a list view's type-to-find goes to: the first from `start` on whose name begins with `typed`
// (or, unless `partial`, is `typed`), ignoring the case of letters; with `wrap` the search goes on from
// the top up to `start`. -1 when no row matches.
int FindRowByName(const std::vector<FileRow>& rows, const std::wstring& typed, int start, bool partial, bool wrap);
