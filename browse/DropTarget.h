#pragma once
// The file list's drop target: accepts data that carries a file list and hands it to the window.
#include <ole2.h>

class frmMirdal;

class FileDropTarget : public IDropTarget {
public:
    explicit FileDropTarget(frmMirdal& window) : window_(&window) {}
    // The window is going away: later drops do nothing.
    void Detach() { window_ = nullptr; }

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
    frmMirdal* window_;
    ULONG references_ = 1;
    bool acceptable_ = false;
};
