#pragma once
// The search for registrations that outlived their files, in both registry views and in the machine's
// and the user's classes. It only reads, each key once, free of any window: it runs on a thread of its own.
#include <windows.h>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct BrokenRegistration {
    enum class Kind { Class, TypeLib, ProgId };
    Kind kind = Kind::Class;
    std::wstring key;     // the key to remove, as opened in its view: HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{...}
    std::wstring missing; // the file not there, or the class id a program id names
    int view = 64;
};

// Where classes are kept: below a root, by the name the list shows for it, in one view.
struct ClassesArea {
    HKEY root;
    std::wstring rootName; // HKEY_LOCAL_MACHINE
    std::wstring path;     // Software\Classes
    int view = 64;
};

// The machine's and the user's classes in each view of this Windows: the 32-bit one alone on 32-bit Windows.
std::vector<ClassesArea> SystemClassesAreas();

// Calls found for each broken registration as it is found, and stops soon after stop is set. A key that
// two areas share is read once. A class counts as there when any area has it.
void FindBrokenRegistrations(const std::vector<ClassesArea>& areas, const std::function<void(const BrokenRegistration&)>& found,
                             const std::atomic<bool>& stop);
