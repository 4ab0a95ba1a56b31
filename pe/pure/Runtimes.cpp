#include "pe/pure/Runtimes.h"
#include <string>

namespace pe {

namespace {

struct Version {
    std::wstring_view number, release;
};
constexpr Version kVisualCpp[] = {{L"70", L"2002"},  {L"71", L"2003"},  {L"80", L"2005"},  {L"90", L"2008"},
                                  {L"100", L"2010"}, {L"110", L"2012"}, {L"120", L"2013"}, {L"140", L"2015-2022"}};

// The DLL families of a Visual C++ release; how a name may go on after the version number.
enum class Tail { None, Part, Letters }; // "", "_1"/"_atomic_wait", "u"/"jpn"/"enu"
struct Family {
    std::wstring_view prefix;
    Tail tail;
};
constexpr Family kFamilies[] = {{L"msvcr", Tail::None}, {L"msvcp", Tail::Part}, {L"vcruntime", Tail::Part},
                                {L"vcomp", Tail::None}, {L"mfcm", Tail::Letters}, {L"mfc", Tail::Letters},
                                {L"atl", Tail::None}};

bool TailFits(std::wstring_view tail, Tail kind)
{
    if (tail.empty())
        return true;
    if (kind == Tail::Part)
        return tail[0] == L'_';
    if (kind != Tail::Letters || tail == L"d" || tail == L"ud")
        return false;
    for (wchar_t c : tail)
        if (c < L'a' || c > L'z')
            return false;
    return true;
}

} // namespace

std::optional<Runtime> RuntimeOf(std::wstring_view dll)
{
    std::wstring name;
    for (wchar_t c : dll)
        name += c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (name.size() > 4 && name.ends_with(L".dll"))
        name.resize(name.size() - 4);
    if (name == L"msvbvm50" || name == L"msvbvm60")
        return Runtime{RuntimeFamily::VisualBasic, name == L"msvbvm50" ? L"5.0" : L"6.0"};
    for (const Family& family : kFamilies) {
        if (!name.starts_with(family.prefix))
            continue;
        std::wstring_view rest = std::wstring_view(name).substr(family.prefix.size());
        size_t digits = rest.find_first_not_of(L"0123456789");
        std::wstring_view number = rest.substr(0, digits), tail = digits == rest.npos ? L"" : rest.substr(digits);
        for (const Version& version : kVisualCpp)
            if (number == version.number && TailFits(tail, family.tail))
                return Runtime{RuntimeFamily::VisualCpp, version.release};
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace pe
