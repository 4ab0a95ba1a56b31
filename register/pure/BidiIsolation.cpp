#include "register/pure/BidiIsolation.h"

namespace {

constexpr wchar_t FirstStrongIsolate = 0x2068, PopIsolate = 0x2069;

bool IsBidiControl(wchar_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool OpensIsolate(wchar_t c) { return c >= 0x2066 && c <= 0x2068; }

} // namespace

std::wstring BidiIsolated(const std::wstring& text)
{
    bool controls = false;
    size_t open = 0, strayPops = 0;
    for (wchar_t c : text) {
        controls = controls || IsBidiControl(c);
        if (OpensIsolate(c))
            ++open;
        else if (c == PopIsolate)
            open > 0 ? --open : ++strayPops;
    }
    if (!controls)
        return text;
    // A stray pop closes one of the isolates put before it; each isolate the text leaves open is closed
    // after it. The outer pop then also ends the embeddings and overrides that the text left open.
    return std::wstring(1 + strayPops, FirstStrongIsolate) + text + std::wstring(open + 1, PopIsolate);
}
