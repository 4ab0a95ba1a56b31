#include "browse/TipReader.h"
#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "browse/pure/FileTip.h"
#include "pe/ImageFile.h"
#include "pe/LoadFailure.h"
#include <algorithm>
#include <cwchar>
#include <functional>
#include <optional>
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
                dll = MissingDllText(dll, image->machine, LoadText);
            if (!wanted())
                return std::nullopt;
            facts.findings = DependencyFindings(path, *image, LoadText);
        }
    }
    return ComposeFileTip(facts, [](unsigned id) { return Text(id); });
}

} // namespace

TipReader::TipReader(HWND window) : shared_(std::make_shared<Shared>()) { shared_->window = window; }

TipReader::~TipReader()
{
    std::lock_guard lock(shared_->mutex);
    shared_->window = nullptr;
    shared_->queue.Clear();
    shared_->wake.notify_all();
}

void TipReader::Ask(const std::wstring& path)
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

std::vector<std::pair<std::wstring, std::wstring>> TipReader::TakeDone()
{
    std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->done, {});
}

void TipReader::Work(std::shared_ptr<Shared> shared)
{
    try {
        Serve(*shared);
    } catch (...) {
        std::lock_guard held(shared->mutex);
        shared->reading.clear();
        shared->running = false;
    }
}

void TipReader::Serve(Shared& shared)
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
