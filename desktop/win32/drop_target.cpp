// FileDropTarget: drag feedback and drops of file lists through OLE.
#include "drop_target.h"

#include <exception>

#include "file_list.h"
#include "scope_guard.h"

namespace {

FORMATETC FileListFormat() {
    return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

bool CarriesFiles(IDataObject* data) {
    FORMATETC format = FileListFormat();
    return data != nullptr && data->QueryGetData(&format) == S_OK;
}

// The drag's file list, copied, or an empty block when the source cannot give one.
UniqueGlobal FileListOf(IDataObject* data) {
    FORMATETC format = FileListFormat();
    STGMEDIUM medium{};
    if (data->GetData(&format, &medium) != S_OK) {
        return {};
    }
    const ScopeGuard release([&medium]() noexcept { ::ReleaseStgMedium(&medium); });
    return medium.tymed == TYMED_HGLOBAL ? CopyFileList(medium.hGlobal) : UniqueGlobal{};
}

}  // namespace

HRESULT FileDropTarget::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

DWORD FileDropTarget::Answer(DWORD allowed) {
    // A source that allows only a move would delete the file once we took it: refused.
    const bool takes = carries_files_ && (allowed & DROPEFFECT_COPY) != 0 && sink_.TakesFiles();
    sink_.ShowDropHint(takes);
    return takes ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    carries_files_ = CarriesFiles(data);
    *effect = Answer(*effect);
    return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    *effect = Answer(*effect);
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    carries_files_ = false;
    sink_.ShowDropHint(false);
    return S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    carries_files_ = carries_files_ && CarriesFiles(data);
    const DWORD answer = Answer(*effect);
    sink_.ShowDropHint(false);
    carries_files_ = false;
    *effect = DROPEFFECT_NONE;
    if (answer == DROPEFFECT_NONE) {
        return S_OK;
    }
    // An exception must not unwind into OLE, which knows nothing of C++.
    try {
        UniqueGlobal list = FileListOf(data);
        if (list && sink_.TakeFileList(std::move(list))) {
            *effect = DROPEFFECT_COPY;
        }
    } catch (const std::exception&) {
        // The drop is refused; the source keeps its data.
    }
    return S_OK;
}
