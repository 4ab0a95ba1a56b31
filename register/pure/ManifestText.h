#pragma once
// A side-by-side assembly manifest that lets programs use COM servers with nothing registered, made
// from the keys registering each server wrote.
#include "register/pure/RegFileText.h"
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ManifestClass {
    std::wstring clsid, threadingModel, progid, tlbid, description; // each empty when not registered
    std::vector<std::wstring> otherProgids;
    std::vector<std::pair<std::wstring, std::wstring>> miscStatus; // attribute name, OLEMISC flag names
};

struct ManifestTypeLib {
    std::wstring tlbid, version, helpdir, flags;
};

struct ManifestInterface {
    std::wstring iid, name, tlbid, proxyStubClsid;
};

// What one server's registration gives the manifest, and the keys (or "key\value") it cannot carry.
struct ManifestFile {
    std::wstring name; // the bare file name
    std::vector<ManifestClass> classes;
    std::vector<ManifestTypeLib> typeLibs;
    std::vector<ManifestInterface> proxyStubs;        // served by one of the file's classes
    std::vector<ManifestInterface> externalProxyStubs; // marshaled through a type library
    std::vector<std::wstring> leftOut;
    bool Empty() const { return classes.empty() && typeLibs.empty(); }
};

// path: the server's full path; keys: what registering it wrote, under their real root names.
ManifestFile ReadManifestFile(const std::wstring& path, const std::vector<RegKeyRecord>& keys);

struct AssemblyIdentity {
    std::wstring name, version, architecture;
};

// False for a name the loader cannot find a private assembly by: empty, or holding a space or \/:*?"<>|.
bool IsAssemblyName(std::wstring_view name);

// "<assemblyIdentity type="win32" name=... version=... processorArchitecture=.../>"
std::wstring AssemblyIdentityElement(const AssemblyIdentity& identity);

// The whole manifest, CR LF line ends; the files that are Empty() give no <file>.
std::wstring ManifestText(const AssemblyIdentity& identity, const std::vector<ManifestFile>& files);

// What a program's own manifest needs to use the assembly.
std::wstring DependencyLine(const AssemblyIdentity& identity);
