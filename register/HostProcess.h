#pragma once
// What the window does about the processes of its registration hosts beyond talking to them: it holds
// them in a job that ends them with the window's process, and watches for windows their servers show.
#include <windows.h>
#include <functional>
#include <string>

// Puts a host, created suspended, in the job of the window's process before it runs, so that it and
// whatever it starts end when that process ends, however it ends. False when the system refuses (on
// Windows 7 a process already in a job can join no other); the host then runs without it.
bool PutInHostJob(HANDLE process);

// A server that shows a window inside its registration (a message box, most often) holds its host until
// someone answers, and the window may sit behind the main window. One watch per file.
class ServerWindowWatch {
public:
    // told(title) for the first such window.
    explicit ServerWindowWatch(std::function<void(const std::wstring& title)> told) : told_(std::move(told)) {}
    // Called while the host of processId works: from a second after the watch began, at most once a
    // second, it looks for a visible top-level window of that process; each new one found is brought to
    // the front and told. A file done sooner costs no look.
    void Look(DWORD processId);

private:
    std::function<void(const std::wstring&)> told_;
    ULONGLONG looked_ = ::GetTickCount64();
    HWND told_window_ = nullptr;
};
