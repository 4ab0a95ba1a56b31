#pragma once
// Which listed files are registered type libraries: a walk of HKEY_CLASSES_ROOT\TypeLib (with the
// user's own registrations where the system does not merge them in), free of any window.
#include "registry/RegistryWatch.h"

#include <array>
#include <future>
#include <optional>
#include <string>
#include <vector>

// One row of the file list as the scan reads it.
struct ListedFile {
    std::wstring text; // the bare file name
    std::wstring key;  // the full path
};

// One registered type library whose file name matches a listed file.
struct RegisteredLibrary {
    std::wstring name;     // default value of the last listed version key
    std::wstring versions; // every version key, converted, in reverse registry order
    std::wstring path;     // the registered path whose file name matched, as read
    std::wstring guid;     // the library's key name, with its braces
    bool sameFile = false; // the path names the matching listed file itself
};

// What a walk keeps of one library: all a row needs, whichever files are listed.
struct HeldLibrary {
    std::wstring guid, name, versions;
    std::array<std::wstring, 2> paths;     // below "0\win64" and "0\win32", this build's platform first
    std::array<std::wstring, 2> fileNames; // the files the paths name; empty when none
    std::array<std::string, 2> fileKeys;   // their sort keys; empty when they have none
};

// Every library whose registered path names a file, in the registry's order; std::nullopt when
// "TypeLib" cannot be listed.
std::optional<std::vector<HeldLibrary>> ReadRegisteredLibraries();

// The rows for the listed files: a library matches when the file name of one of its paths (this
// build's platform first) is that of a listed file (case ignored, user locale); the first such file counts.
std::vector<RegisteredLibrary> MatchListedFiles(const std::vector<HeldLibrary>& o_Libraries, const std::vector<ListedFile>& o_Files);

// A full walk of the registry, matched against the files.
std::optional<std::vector<RegisteredLibrary>> ScanRegisteredLibraries(const std::vector<ListedFile>& o_Files);

// The scan that remembers: it keeps what the last walk found while watches on the keys it is made of
// stay silent, and reads no library until one fires. The rows are always those of a full walk.
class LibraryScan {
public:
    std::optional<std::vector<RegisteredLibrary>> Scan(const std::vector<ListedFile>& o_Files);
    // Starts the walk the next scan needs on a thread of its own, the watches set first, so that it
    // goes on while the window is made; that scan then takes what it found.
    void WalkAhead();
    // The next scan reads the registry again.
    void Invalidate()
    {
        held_.reset();
        walking_ = {};
    }
    // The last walk's libraries are held and watched.
    bool Holding() const { return held_.has_value(); }

private:
    bool Watch();
    // The watches set, then the walk, run as `policy` says; walking_ gives what it found.
    void StartWalk(std::launch policy);

    std::optional<std::vector<HeldLibrary>> held_;
    std::wstring classesName_; // the key HKEY_CLASSES_ROOT\TypeLib was when held_ was read
    RegistryWatches watches_;
    std::future<std::optional<std::vector<HeldLibrary>>> walking_;
    bool walkWatched_ = false; // whether the watches of walking_ could be set
};
