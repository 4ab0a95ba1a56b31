#pragma once
// A drop target that accepts data carrying a file list and hands it to a callback.
#include <ole2.h>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class FileDropTarget : public IDropTarget {
public:
    using Handler = std::function<void(IDataObject*)>;
    explicit FileDropTarget(Handler handler) : handler_(std::move(handler)) {}
    // The receiver is going away: later drops do nothing.
    void Detach() { handler_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

    static bool HasFileList(IDataObject* data);

private:
    virtual ~FileDropTarget() = default;
    Handler handler_;
    ULONG references_ = 1;
    bool acceptable_ = false;
};

// The dropped paths, in the order the drag source gives them; none when the file list cannot be read.
std::vector<std::wstring> DroppedPaths(IDataObject* data);

} // namespace platform
