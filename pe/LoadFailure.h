#pragma once
// Why a server is not loaded, or why its load failed, in one line of the log: down to the missing
// DLL or function and the chain of imports that needs it, and what to install.
#include "pe/pure/PeImage.h"
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// The sentences these texts are made of. The caller words them: its text function fills %1, %2, ...
// of each from the arguments.
enum class LoadSentence : int {
    MissingDlls, MissingFunction, MissingAssembly, RuntimeVb, RuntimeVc, Install, DotNet, DelayedInTip, DelayedDll,
    DelayedFunction, ModuleNotFound, ProcedureNotFound, BadFormat, DllMain, NoAccess, Denied, LoadError
};
using LoadWording = std::function<std::wstring(LoadSentence, std::initializer_list<std::wstring>)>;

struct LoadRefusal {
    long code; // the registration library's code the log shows for it
    std::wstring why;
};

// Before any loading: a .NET assembly without DllRegisterServer, or a function that a DLL the file
// imports does not export. nullopt: the file may be loaded.
std::optional<LoadRefusal> RefuseBeforeLoad(const std::wstring& path, const pe::ImageFacts& facts, const LoadWording& text);

// After the host reported a load failure with the system's error code.
std::wstring WhyLoadFailed(const std::wstring& path, const std::optional<pe::ImageFacts>& facts, unsigned long error,
                          const LoadWording& text);

// A missing DLL's name, with the runtime that brings it when it belongs to one.
std::wstring MissingDllText(const std::wstring& dll, pe::Machine machine, const LoadWording& text);

// The info tip's lines beyond the missing DLLs: missing functions, the deeper missing link, delay-loaded
// imports that are missing (unless left out), a .NET assembly.
std::vector<std::wstring> DependencyFindings(const std::wstring& path, const pe::ImageFacts& facts, const LoadWording& text,
                                            bool delayed = true);

// The lines after a server's crash: the DLL or function the delay-load helper could not find, if that
// raised the exception, then what the dependency walk finds, as the tip tells it.
std::vector<std::wstring> CrashFindings(const std::wstring& path, const std::optional<pe::ImageFacts>& facts,
                                        unsigned long exceptionCode, const std::wstring& delayedDll,
                                        const std::wstring& delayedFunction, const LoadWording& text);
