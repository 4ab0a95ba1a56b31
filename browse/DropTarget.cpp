#include "browse/DropTarget.h"
#include "app/frmMirdal.h"

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
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data && data->QueryGetData(&format) == S_OK;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    acceptable_ = window_ && HasFileList(data);
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
        if (window_)
            window_->lsvFile_OLEDragDrop(data);
    } catch (...) {
    }
    *effect = acceptable_ ? (*effect & DROPEFFECT_COPY ? DROPEFFECT_COPY : *effect & DROPEFFECT_LINK) : DROPEFFECT_NONE;
    acceptable_ = false;
    return S_OK;
}
