#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/resource.h"
#include "browse/pure/FileTip.h"
#include "browse/pure/TipQueue.h"
#include "pe/ImageFile.h"
#include "pe/LoadFailure.h"
#include <algorithm>
#include <condition_variable>
#include <functional>
#include <cwchar>
#include <mutex>
#include <thread>

namespace {

// A string of the version resource, or empty; VerQueryValueW's length is not trusted to hold a NUL.
std::wstring VersionString(const std::vector<BYTE>& data, WORD language, WORD codePage, const wchar_t* name)
{
    wchar_t query[64];
    std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), query, &value, &length) || !value)
        return std::wstring();
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, std::wcslen(text) < length ? std::wcslen(text) : length);
}

void ReadVersionResource(const std::wstring& path, FileTipFacts& facts)
{
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (!size || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return;
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(data.data(), L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        facts.version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
                        L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    }
    // The translation table names the string blocks the file has; the usual ones stand in when it is missing.
    std::vector<std::pair<WORD, WORD>> translations;
    if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) && value)
        for (UINT i = 0; i < std::min(length / 4u, 16u); ++i)
            translations.emplace_back(static_cast<const WORD*>(value)[2 * i], static_cast<const WORD*>(value)[2 * i + 1]);
    translations.insert(translations.end(), {{0x0411, 1200}, {0x0409, 1200}, {0x0409, 1252}, {0x0411, 932}});
    for (auto [language, codePage] : translations) {
        if (facts.version.empty())
            facts.version = VersionString(data, language, codePage, L"FileVersion");
        if (facts.description.empty())
            facts.description = VersionString(data, language, codePage, L"FileDescription");
    }
}

// Between its steps the reading stops when `wanted` says the pointer has moved on: nullopt.
std::optional<std::wstring> FileTipText(const std::wstring& path, const std::function<bool()>& wanted)
{
    FileTipFacts facts;
    if (std::optional<pe::ImageFacts> image = ReadImageFile(path)) {
        facts.readable = true;
        facts.machine = image->machine;
        facts.machineCode = image->machineCode;
        facts.exportsRegister = image->Exports("DllRegisterServer");
        facts.exportsUnregister = image->Exports("DllUnregisterServer");
        facts.hasTypeLib = image->hasTypeLib;
        facts.damaged = image->damaged;
        if (image->machine != pe::Machine::NotPe && !image->damaged) {
            if (!wanted())
                return std::nullopt;
            ReadVersionResource(path, facts);
            if (!wanted())
                return std::nullopt;
            facts.missingDlls = MissingDependencies(path, *image);
            for (std::wstring& dll : facts.missingDlls)
                dll = MissingDllText(dll, image->machine);
            if (!wanted())
                return std::nullopt;
            facts.findings = DependencyFindings(path, *image);
        }
    }
    return ComposeFileTip(facts, [](unsigned id) { return Text(id); });
}

} // namespace

// Reads tips on a thread of its own: a file on a share that does not answer, or a PATH folder there,
// holds up that thread, never the window. The thread is never waited for; what it shares with the
// window lives as long as either of them.
class TipReader {
public:
    explicit TipReader(HWND window) : shared_(std::make_shared<Shared>()) { shared_->window = window; }
    ~TipReader()
    {
        std::lock_guard lock(shared_->mutex);
        shared_->window = nullptr;
        shared_->queue.Clear();
        shared_->wake.notify_all();
    }

    // The row asked for last is read next; a path read now or waiting to be taken is not read again.
    void Ask(const std::wstring& path)
    {
        std::lock_guard lock(shared_->mutex);
        if (path == shared_->reading || std::ranges::any_of(shared_->done, [&](const auto& tip) { return tip.first == path; }))
            return;
        shared_->queue.Ask(path);
        ++shared_->asks;
        if (!shared_->running) {
            shared_->running = true;
            std::thread(Work, shared_).detach();
        }
        shared_->wake.notify_all();
    }

    std::vector<std::pair<std::wstring, std::wstring>> TakeDone()
    {
        std::lock_guard lock(shared_->mutex);
        return std::exchange(shared_->done, {});
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        // A sweep of the pointer over a long list asks for many rows; only the last few are still wanted.
        TipQueue queue{16};
        std::wstring reading;
        unsigned long asks = 0; // requests so far: one since a read began means the pointer has moved on
        std::vector<std::pair<std::wstring, std::wstring>> done;
        HWND window = nullptr; // none once the window has gone
        bool running = false;
    };

    // Nothing escapes the thread: a failure it cannot tell in a tip ends it, and the next request starts another.
    static void Work(std::shared_ptr<Shared> shared)
    {
        try {
            Serve(*shared);
        } catch (...) {
            std::lock_guard held(shared->mutex);
            shared->reading.clear();
            shared->running = false;
        }
    }

    static void Serve(Shared& shared)
    {
        std::unique_lock lock(shared.mutex);
        for (;;) {
            shared.wake.wait(lock, [&] { return !shared.queue.Empty() || !shared.window; });
            if (!shared.window)
                return;
            std::wstring path = *shared.queue.Next();
            shared.reading = path;
            const unsigned long asked = shared.asks;
            lock.unlock();
            std::optional<std::wstring> tip;
            try {
                // A row the pointer has left is dropped: asked for again, it is read anew.
                tip = FileTipText(path, [&] {
                    std::lock_guard held(shared.mutex);
                    return shared.asks == asked;
                });
            } catch (...) {
                tip = Text(IDS_TIP_FAILED);
            }
            lock.lock();
            shared.reading.clear();
            if (!tip)
                continue;
            shared.done.emplace_back(std::move(path), std::move(*tip));
            if (shared.window)
                ::PostMessageW(shared.window, frmMirdal::WM_TIP_READY, 0, 0);
        }
    }

    std::shared_ptr<Shared> shared_;
};

void frmMirdal::PartDeleter::operator()(TipReader* reader) const noexcept { delete reader; }

void frmMirdal::lsvFile_TipReady()
{
    if (!tipReader_)
        return;
    for (auto& [path, tip] : tipReader_->TakeDone())
        fileTips_[path] = std::move(tip);
    // The tip on show asks for its text again, and now gets the facts.
    if (HWND tooltip = ListView_GetToolTips(lsvFile.Hwnd()))
        ::SendMessageW(tooltip, TTM_UPDATE, 0, 0);
}

// Read when first hovered, not when listed: listing a folder of many servers stays as fast as before.
LRESULT frmMirdal::lsvFile_GetInfoTip(NMLVGETINFOTIPW* info)
{
    if (info->iItem < 0 || static_cast<size_t>(info->iItem) >= fileRows_.size())
        return 0;
    const FileRow& row = fileRows_[static_cast<size_t>(info->iItem)];
    // Without LVGIT_UNFOLDED the control has put the row's cut-off name in the buffer already.
    const bool append = !(info->dwFlags & LVGIT_UNFOLDED);
    if (auto tip = fileTips_.find(row.key); tip != fileTips_.end()) {
        WriteFileTip(tip->second, info->pszText, info->cchTextMax, append);
        return 0;
    }
    if (!tipReader_)
        tipReader_.reset(new TipReader(hwnd_));
    tipReader_->Ask(row.key);
    WriteFileTip((append ? L"" : row.name + L"\r\n") + Text(IDS_TIP_READING), info->pszText, info->cchTextMax, append);
    return 0;
}
