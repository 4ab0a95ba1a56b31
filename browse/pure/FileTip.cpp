#include "browse/pure/FileTip.h"
#include "app/resource.h"
#include <algorithm>

namespace {

std::wstring MachineName(const FileTipFacts& facts, const std::function<std::wstring(unsigned)>& text)
{
    switch (facts.machine) {
    case pe::Machine::X86: return L"x86";
    case pe::Machine::X64: return L"x64";
    case pe::Machine::Arm64: return L"ARM64";
    case pe::Machine::NotPe: return text(IDS_TIP_NOT_PE);
    default: break;
    }
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring code = L" (0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        code += digits[(facts.machineCode >> shift) & 0xF];
    return text(IDS_TIP_OTHER_MACHINE) + code + L")";
}

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

std::wstring ComposeFileTip(const FileTipFacts& facts, const std::function<std::wstring(unsigned)>& text)
{
    if (!facts.readable)
        return text(IDS_TIP_UNREADABLE);
    std::wstring tip = text(IDS_TIP_MACHINE) + MachineName(facts, text);
    if (facts.machine == pe::Machine::NotPe)
        return tip;
    if (facts.damaged)
        return tip + L"\r\n" + text(IDS_WHY_DAMAGED);
    auto yesNo = [&](bool yes) { return text(yes ? IDS_TIP_YES : IDS_TIP_NO); };
    tip += L"\r\nDllRegisterServer: " + yesNo(facts.exportsRegister);
    tip += L"\r\nDllUnregisterServer: " + yesNo(facts.exportsUnregister);
    tip += L"\r\n" + text(IDS_TIP_TYPELIB) + yesNo(facts.hasTypeLib);
    if (!facts.version.empty())
        tip += L"\r\n" + text(IDS_TIP_VERSION) + facts.version;
    if (!facts.description.empty())
        tip += L"\r\n" + text(IDS_TIP_DESCRIPTION) + facts.description;
    tip += L"\r\n" + text(IDS_TIP_MISSING);
    if (facts.missingDlls.empty())
        tip += text(IDS_TIP_NO);
    for (size_t i = 0; i < facts.missingDlls.size(); ++i)
        tip += (i ? L", " : L"") + facts.missingDlls[i];
    for (const std::wstring& finding : facts.findings)
        tip += L"\r\n" + finding;
    return tip;
}

void WriteFileTip(std::wstring_view tip, wchar_t* buffer, int size, bool append)
{
    if (!buffer || size <= 0)
        return;
    size_t capacity = static_cast<size_t>(size) - 1, used = 0;
    if (append) {
        while (used < capacity && buffer[used])
            ++used;
        if (used > 0 && capacity - used >= 2) {
            buffer[used++] = L'\r';
            buffer[used++] = L'\n';
        }
    }
    size_t count = std::min(tip.size(), capacity - used);
    if (count < tip.size() && count > 0 && IsHighSurrogate(tip[count - 1]))
        --count;
    tip.copy(buffer + used, count);
    buffer[used + count] = L'\0';
}
