#pragma once
// Side-by-side activation: the assemblies an image's own manifest names, which imports the loader may
// serve from them rather than from the search path, and where it looks for an assembly.
#include "pe/pure/PeImage.h"
#include <string>
#include <string_view>
#include <vector>

namespace pe {

// The dependent assemblies of a manifest (UTF-8, or UTF-16 with its byte order mark); none when the
// text names none or cannot be read.
std::vector<AssemblyReference> DependentAssemblies(std::string_view manifest);

// The DLLs Windows itself serves from its side-by-side store: the common controls, GDI+ and the Visual
// C++ 2005 and 2008 runtimes. The search path's copy may be another version than the one loaded.
bool ServedSideBySide(std::string_view dll);

// Whether the image's import of this DLL is the loader's to judge, since activation may redirect it:
// always where the image's manifest names an assembly, which may carry a DLL of any name.
bool LeftToLoader(const ImageFacts& image, std::string_view dll);

// The imports that the search path's DLLs answer for, the others left out.
std::vector<ImportedDll> SearchPathImports(const ImageFacts& image);

// Where a private assembly may lie, in the loader's order, from the folder of the image (ending in "\").
std::vector<std::wstring> PrivateAssemblyProbes(const AssemblyReference& assembly, const std::wstring& folder);

// The pattern of the shared assembly's manifests in WinSxS\Manifests, any version: a version asked for
// may be served by a newer one through publisher policy. Empty for an assembly without a public key.
std::wstring SharedAssemblyPattern(const AssemblyReference& assembly, Machine machine);

} // namespace pe
