#include "platform/pure/MessageInserts.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The length of the insert that starts at text[at] ('%'), or 0 when none does.
size_t InsertLength(const std::wstring& text, size_t at)
{
    size_t end = at + 1;
    if (end >= text.size() || !IsDigit(text[end]) || text[end] == L'0')
        return 0;
    ++end;
    if (end < text.size() && IsDigit(text[end]))
        ++end;
    if (end < text.size() && text[end] == L'!') {
        size_t close = text.find(L'!', end + 1);
        if (close != std::wstring::npos)
            end = close + 1;
    }
    return end - at;
}

} // namespace

std::wstring FillInserts(const std::wstring& text, const std::wstring& insert)
{
    std::wstring out;
    for (size_t at = 0; at < text.size();) {
        size_t length = text[at] == L'%' ? InsertLength(text, at) : 0;
        if (length == 0) {
            out += text[at++];
            continue;
        }
        at += length;
        if (!insert.empty()) {
            out += insert;
            continue;
        }
        // Without its insert, "%1 is not ..." reads "is not ...", not " is not ...".
        if (at < text.size() && text[at] == L' ' && (out.empty() || out.back() == L' '))
            ++at;
    }
    return out;
}
