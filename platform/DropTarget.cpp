#include "platform/DropTarget.h"
#include <shellapi.h>

namespace platform {

namespace {

// Whatever happens to the medium once it is got, it goes back to its owner.
class Medium {
public:
    Medium() = default;
    ~Medium() { ::ReleaseStgMedium(&medium_); }
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;
    STGMEDIUM* put() { return &medium_; }
    // The file list, or nullptr when the medium holds none.
    HDROP Drop() const { return medium_.tymed == TYMED_HGLOBAL ? static_cast<HDROP>(medium_.hGlobal) : nullptr; }

private:
    STGMEDIUM medium_{};
};

FORMATETC FileListFormat()
{
    return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

} // namespace

std::vector<std::wstring> DroppedPaths(IDataObject* data)
{
    std::vector<std::wstring> paths;
    FORMATETC format = FileListFormat();
    Medium medium;
    if (FAILED(data->GetData(&format, medium.put())))
        return paths;
    HDROP drop = medium.Drop();
    if (!drop)
        return paths;
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1u, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(std::move(path));
    }
    return paths;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FileDropTarget::Release()
{
    ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

bool FileDropTarget::HasFileList(IDataObject* data)
{
    FORMATETC format = FileListFormat();
    return data && data->QueryGetData(&format) == S_OK;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    acceptable_ = handler_ && HasFileList(data);
    *effect = acceptable_ ? (*effect & DROPEFFECT_COPY ? DROPEFFECT_COPY : *effect & DROPEFFECT_LINK) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect)
{
    *effect = acceptable_ ? (*effect & DROPEFFECT_COPY ? DROPEFFECT_COPY : *effect & DROPEFFECT_LINK) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    // Nothing may escape into OLE's frames: a drop that fails on the way changes what it changed.
    try {
        if (handler_)
            handler_(data);
    } catch (...) {
    }
    *effect = acceptable_ ? (*effect & DROPEFFECT_COPY ? DROPEFFECT_COPY : *effect & DROPEFFECT_LINK) : DROPEFFECT_NONE;
    acceptable_ = false;
    return S_OK;
}

} // namespace platform
