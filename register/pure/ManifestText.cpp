#include "register/pure/ManifestText.h"
#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <span>

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
// The marshalers of interfaces described by a type library: automation's and its dispatch-only one.
constexpr std::wstring_view kTypeLibMarshalers[] = {L"{00020424-0000-0000-C000-000000000046}",
                                                    L"{00020420-0000-0000-C000-000000000046}"};
// Where a server's classes may be written; all three end up in HKEY_CLASSES_ROOT.
constexpr std::wstring_view kClassRoots[] = {L"HKEY_CLASSES_ROOT\\", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\",
                                             L"HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\"};
// The roots of HKEY_CLASSES_ROOT that are not program ids.
constexpr std::wstring_view kNotProgids[] = {L"CLSID", L"TYPELIB", L"INTERFACE", L"APPID", L"COMPONENT CATEGORIES", L"*"};
// OLEMISC bits in order, by the names manifests give them.
constexpr std::wstring_view kOleMisc[] = {
    L"recomposeonresize", L"onlyiconic", L"insertnotreplace", L"static", L"cantlinkinside", L"canlinkbyole1",
    L"islinkobject", L"insideout", L"activatewhenvisible", L"renderingisdeviceindependent", L"invisibleatruntime",
    L"alwaysrun", L"actslikebutton", L"actslikelabel", L"nouiactivate", L"alignable", L"simpleframe",
    L"setclientsitefirst", L"imemode", L"ignoreactivatewhenvisible", L"wantstomenumerge", L"supportsmultilevelundo"};
constexpr std::wstring_view kLibFlags[] = {L"RESTRICTED", L"CONTROL", L"HIDDEN", L"HASDISKIMAGE"};

std::wstring Folded(std::wstring_view text)
{
    std::wstring folded(text);
    for (wchar_t& c : folded)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return folded;
}

bool Same(std::wstring_view a, std::wstring_view b) { return Folded(a) == Folded(b); }

std::vector<std::wstring> Parts(std::wstring_view path)
{
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        size_t end = path.find(L'\\', start);
        parts.emplace_back(path.substr(start, end - start));
        if (end == std::wstring_view::npos)
            return parts;
        start = end + 1;
    }
}

// The text of a string value; nothing for another type or bytes that are no UTF-16 text.
std::optional<std::wstring> StringValue(const RegKeyRecord& key, std::wstring_view name = L"")
{
    auto value = std::ranges::find_if(key.values, [&](const RegValue& v) { return Same(v.name, name); });
    if (value == key.values.end() || (value->type != kRegSz && value->type != kRegExpandSz) || value->data.size() % 2 != 0)
        return std::nullopt;
    std::wstring text;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2)
        text += static_cast<wchar_t>(value->data[i] | value->data[i + 1] << 8);
    return text.substr(0, text.find(L'\0'));
}

std::optional<unsigned long> Number(const std::wstring& text, int base)
{
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    unsigned long number = 0;
    for (wchar_t c : text) {
        int digit = HexDigit(c);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        number = number * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    return number;
}

std::wstring FlagNames(unsigned long bits, std::span<const std::wstring_view> names)
{
    std::wstring text;
    for (size_t bit = 0; bit < names.size(); ++bit)
        if (bits & (1ul << bit))
            text += (text.empty() ? L"" : L",") + std::wstring(names[bit]);
    return text;
}

std::wstring FileNameOf(std::wstring_view path)
{
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return std::wstring(path.substr(path.find_last_of(L"\\/") + 1));
}

std::wstring FolderOf(std::wstring_view path)
{
    std::wstring_view folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.remove_suffix(1);
    return std::wstring(folder);
}

// A registered type library version ("a.0", hexadecimal) as manifests write it (decimal).
std::wstring ManifestVersion(const std::wstring& key)
{
    size_t dot = key.find(L'.');
    std::optional<unsigned long> major = Number(key.substr(0, dot), 16);
    std::optional<unsigned long> minor = dot == std::wstring::npos ? std::nullopt : Number(key.substr(dot + 1), 16);
    return major && minor ? std::to_wstring(*major) + L"." + std::to_wstring(*minor) : key;
}

// The keys by their path below HKEY_CLASSES_ROOT, split and folded for matching.
struct ClassKey {
    const RegKeyRecord* record;
    std::vector<std::wstring> parts, folded;
};

std::vector<ClassKey> ClassKeys(const std::vector<RegKeyRecord>& keys)
{
    std::vector<ClassKey> found;
    for (const RegKeyRecord& key : keys) {
        ClassKey entry{&key, {}, {}};
        const std::wstring folded = Folded(key.path);
        for (std::wstring_view root : kClassRoots)
            if (folded.starts_with(root) && folded.size() > root.size())
                entry.parts = Parts(std::wstring_view(key.path).substr(root.size()));
        for (const std::wstring& part : entry.parts)
            entry.folded.push_back(Folded(part));
        found.push_back(std::move(entry));
    }
    return found;
}

class FileReader {
public:
    FileReader(const std::wstring& path, const std::vector<RegKeyRecord>& keys)
        : name_(FileNameOf(path)), folder_(FolderOf(path)), keys_(ClassKeys(keys))
    {
        file_.name = name_;
    }

    ManifestFile Read()
    {
        FindClasses();
        FindProgids();
        FindTypeLibs();
        FindInterfaces();
        for (ManifestClass& entry : file_.classes)
            FillClass(entry);
        for (const ClassKey& key : keys_)
            if (!Carried(key))
                file_.leftOut.push_back(key.record->path);
        for (const ClassKey& key : keys_)
            if (key.folded.size() == 2 && key.folded[0] == L"CLSID" && classes_.contains(key.folded[1]))
                for (const RegValue& value : key.record->values)
                    if (!value.name.empty())
                        file_.leftOut.push_back(key.record->path + L"\\" + value.name);
        return std::move(file_);
    }

private:
    bool Names(const RegKeyRecord& key, std::wstring_view valueName = L"") const
    {
        std::optional<std::wstring> server = StringValue(key, valueName);
        return server && Same(FileNameOf(*server), name_);
    }
    const RegKeyRecord* Find(std::initializer_list<std::wstring_view> parts) const
    {
        for (const ClassKey& key : keys_)
            if (std::ranges::equal(key.folded, parts, [](const std::wstring& a, std::wstring_view b) { return a == Folded(b); }))
                return key.record;
        return nullptr;
    }
    std::wstring Text(std::initializer_list<std::wstring_view> parts) const
    {
        const RegKeyRecord* key = Find(parts);
        return key ? StringValue(*key).value_or(L"") : L"";
    }

    void FindClasses()
    {
        for (const ClassKey& key : keys_)
            if (key.folded.size() == 3 && key.folded[0] == L"CLSID" && key.folded[2] == L"INPROCSERVER32" && Names(*key.record)) {
                file_.classes.push_back({key.parts[1], StringValue(*key.record, L"ThreadingModel").value_or(L""), {}, {}, {}, {}, {}});
                classes_.insert(key.folded[1]);
            }
    }

    void FindProgids()
    {
        for (const ClassKey& key : keys_) {
            if (key.folded.size() != 2 || key.folded[1] != L"CLSID" || std::ranges::count(kNotProgids, key.folded[0]))
                continue;
            if (std::optional<std::wstring> clsid = StringValue(*key.record); clsid && classes_.contains(Folded(*clsid)))
                progids_.emplace(key.folded[0], std::make_pair(Folded(*clsid), key.parts[0]));
        }
    }

    void FindTypeLibs()
    {
        for (const ClassKey& key : keys_) {
            const auto& f = key.folded;
            if (f.size() != 5 || f[0] != L"TYPELIB" || (f[4] != L"WIN32" && f[4] != L"WIN64") || !Names(*key.record))
                continue;
            const std::wstring libVersion = f[1] + L"\\" + f[2];
            if (!typeLibs_.insert(libVersion).second)
                continue;
            std::wstring helpdir = Text({L"TypeLib", f[1], f[2], L"HELPDIR"});
            if (Same(FolderOf(helpdir + L"\\"), folder_))
                helpdir.clear();
            std::optional<unsigned long> flags = Number(Text({L"TypeLib", f[1], f[2], L"FLAGS"}), 10);
            file_.typeLibs.push_back({key.parts[1], ManifestVersion(key.parts[2]), helpdir, FlagNames(flags.value_or(0), kLibFlags)});
        }
    }

    void FindInterfaces()
    {
        for (const ClassKey& key : keys_) {
            if (key.folded.size() != 3 || key.folded[0] != L"INTERFACE" || key.folded[2] != L"PROXYSTUBCLSID32")
                continue;
            const std::wstring marshaler = StringValue(*key.record).value_or(L"");
            const bool external = std::ranges::count(kTypeLibMarshalers, Folded(marshaler)) > 0;
            if (!external && !classes_.contains(Folded(marshaler)))
                continue;
            ManifestInterface entry{key.parts[1], Text({L"Interface", key.folded[1]}), Text({L"Interface", key.folded[1], L"TypeLib"}), marshaler};
            (external ? file_.externalProxyStubs : file_.proxyStubs).push_back(std::move(entry));
            interfaces_.insert(key.folded[1]);
        }
    }

    void FillClass(ManifestClass& entry) const
    {
        const std::wstring clsid = Folded(entry.clsid);
        entry.description = Text({L"CLSID", clsid});
        entry.tlbid = Text({L"CLSID", clsid, L"TypeLib"});
        std::vector<std::wstring> progids;
        auto add = [&](const std::wstring& progid) {
            if (!progid.empty() && std::ranges::none_of(progids, [&](const std::wstring& p) { return Same(p, progid); }))
                progids.push_back(progid);
        };
        add(Text({L"CLSID", clsid, L"ProgID"}));
        add(Text({L"CLSID", clsid, L"VersionIndependentProgID"}));
        for (const ClassKey& key : keys_)
            if (auto named = progids_.find(key.folded.empty() ? L"" : key.folded[0]); named != progids_.end() && named->second.first == clsid)
                add(named->second.second);
        if (!progids.empty()) {
            entry.progid = progids.front();
            entry.otherProgids.assign(progids.begin() + 1, progids.end());
        }
        static constexpr std::pair<std::wstring_view, std::wstring_view> kAspects[] = {
            {L"", L"miscStatus"}, {L"1", L"miscStatusContent"}, {L"2", L"miscStatusThumbnail"}, {L"4", L"miscStatusIcon"}, {L"8", L"miscStatusDocPrint"}};
        for (auto [aspect, attribute] : kAspects) {
            const RegKeyRecord* key = aspect.empty() ? Find({L"CLSID", clsid, L"MiscStatus"}) : Find({L"CLSID", clsid, L"MiscStatus", aspect});
            std::optional<unsigned long> bits = key ? Number(StringValue(*key).value_or(L""), 10) : std::nullopt;
            if (bits && *bits)
                entry.miscStatus.emplace_back(attribute, FlagNames(*bits, kOleMisc));
        }
    }

    bool Carried(const ClassKey& key) const
    {
        const auto& f = key.folded;
        if (f.size() < 2)
            return f.size() == 1 && progids_.contains(f[0]);
        if (f[0] == L"CLSID") {
            if (!classes_.contains(f[1]))
                return false;
            static constexpr std::wstring_view kCarried[] = {L"INPROCSERVER32", L"PROGID", L"VERSIONINDEPENDENTPROGID", L"TYPELIB", L"MISCSTATUS"};
            return f.size() == 2 || (f.size() == 3 && std::ranges::count(kCarried, f[2]))
                   || (f.size() == 4 && f[2] == L"MISCSTATUS" && (f[3] == L"1" || f[3] == L"2" || f[3] == L"4" || f[3] == L"8"));
        }
        if (f[0] == L"TYPELIB") {
            if (f.size() < 3 || !typeLibs_.contains(f[1] + L"\\" + f[2]))
                return false;
            return f.size() == 3 || (f.size() == 4 && (f[3] == L"FLAGS" || f[3] == L"HELPDIR")) || (f.size() == 5 && Names(*key.record));
        }
        if (f[0] == L"INTERFACE")
            return interfaces_.contains(f[1]);
        return progids_.contains(f[0]) && f.size() == 2 && (f[1] == L"CLSID" || f[1] == L"CURVER");
    }

    std::wstring name_, folder_;
    std::vector<ClassKey> keys_;
    std::set<std::wstring> classes_, typeLibs_, interfaces_; // folded: clsid, "libid\version", iid
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> progids_; // folded name: folded clsid, name
    ManifestFile file_;
};

std::wstring Escaped(std::wstring_view text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        case L'\'': escaped += L"&apos;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

// Name="value" pairs; an empty value leaves its attribute out unless it is always written.
std::wstring Attributes(std::initializer_list<std::pair<std::wstring_view, std::wstring_view>> pairs,
                        std::wstring_view alwaysWritten = L"")
{
    std::wstring text;
    for (auto [name, value] : pairs)
        if (!value.empty() || name == alwaysWritten)
            text += L" " + std::wstring(name) + L"=\"" + Escaped(value) + L"\"";
    return text;
}

std::wstring InterfaceElement(std::wstring_view element, const ManifestInterface& entry, std::wstring_view indent)
{
    return std::wstring(indent) + L"<" + std::wstring(element)
           + Attributes({{L"iid", entry.iid}, {L"name", entry.name}, {L"tlbid", entry.tlbid}, {L"proxyStubClsid32", entry.proxyStubClsid}})
           + L"/>" + kLineEnd;
}

std::wstring ClassElement(const ManifestClass& entry)
{
    std::wstring text = L"    <comClass"
                        + Attributes({{L"clsid", entry.clsid}, {L"threadingModel", entry.threadingModel}, {L"progid", entry.progid},
                                      {L"tlbid", entry.tlbid}, {L"description", entry.description}});
    for (const auto& [attribute, names] : entry.miscStatus)
        text += Attributes({{attribute, names}});
    if (entry.otherProgids.empty())
        return text + L"/>" + kLineEnd;
    text += std::wstring(L">") + kLineEnd;
    for (const std::wstring& progid : entry.otherProgids)
        text += L"      <progid>" + Escaped(progid) + L"</progid>" + kLineEnd;
    return text + L"    </comClass>" + kLineEnd;
}

std::wstring FileElement(const ManifestFile& file)
{
    std::wstring text = L"  <file" + Attributes({{L"name", file.name}}) + L">" + kLineEnd;
    for (const ManifestClass& entry : file.classes)
        text += ClassElement(entry);
    for (const ManifestTypeLib& lib : file.typeLibs)
        text += L"    <typelib" + Attributes({{L"tlbid", lib.tlbid}, {L"version", lib.version}, {L"helpdir", lib.helpdir}, {L"flags", lib.flags}}, L"helpdir")
                + L"/>" + kLineEnd;
    for (const ManifestInterface& entry : file.proxyStubs)
        text += InterfaceElement(L"comInterfaceProxyStub", entry, L"    ");
    return text + L"  </file>" + kLineEnd;
}

} // namespace

ManifestFile ReadManifestFile(const std::wstring& path, const std::vector<RegKeyRecord>& keys)
{
    return FileReader(path, keys).Read();
}

bool IsAssemblyName(std::wstring_view name)
{
    return !name.empty() && name.find_first_of(L" \\/:*?\"<>|") == std::wstring_view::npos;
}

std::wstring AssemblyIdentityElement(const AssemblyIdentity& identity)
{
    return L"<assemblyIdentity"
           + Attributes({{L"type", L"win32"}, {L"name", identity.name}, {L"version", identity.version},
                         {L"processorArchitecture", identity.architecture}})
           + L"/>";
}

std::wstring ManifestText(const AssemblyIdentity& identity, const std::vector<ManifestFile>& files)
{
    std::wstring text = std::wstring(L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>") + kLineEnd
                        + L"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">" + kLineEnd + L"  "
                        + AssemblyIdentityElement(identity) + kLineEnd;
    std::set<std::wstring> external;
    std::wstring externalText;
    for (const ManifestFile& file : files) {
        if (!file.Empty())
            text += FileElement(file);
        // Two servers marshaling one interface through the type library need it said once.
        for (const ManifestInterface& entry : file.externalProxyStubs)
            if (external.insert(Folded(entry.iid)).second)
                externalText += InterfaceElement(L"comInterfaceExternalProxyStub", entry, L"  ");
    }
    return text + externalText + L"</assembly>" + kLineEnd;
}

std::wstring DependencyLine(const AssemblyIdentity& identity)
{
    return L"<dependency><dependentAssembly>" + AssemblyIdentityElement(identity) + L"</dependentAssembly></dependency>";
}
