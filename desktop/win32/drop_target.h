// FileDropTarget: the window's OLE drop target, which takes drags that carry a file list.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <oleidl.h>

#include "win32_handles.h"

// What a window does with the drags that reach it.
class FileDropSink {
public:
    // False while the window cannot take a file, because it is busy with one.
    virtual bool TakesFiles() const = 0;
    // Shows, or no longer shows, that a drop here would be taken.
    virtual void ShowDropHint(bool shown) = 0;
    // Takes a dropped file list to handle once the drop has returned to its source, so that no
    // box of ours keeps the file manager waiting. False when the list is let go instead.
    virtual bool TakeFileList(UniqueGlobal list) = 0;

protected:
    ~FileDropSink() = default;
};

// Answers drags with a file list with a copy, never a move: the file is only read. Drags of
// anything else are refused. It belongs to its window, which revokes it before it goes, so its
// reference count does not decide its life.
class FileDropTarget final : public IDropTarget {
public:
    explicit FileDropTarget(FileDropSink& sink) : sink_(sink) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point,
                                        DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point,
                                   DWORD* effect) override;

private:
    // The effect to report for a drag whose source allows the given effects.
    DWORD Answer(DWORD allowed);

    FileDropSink& sink_;
    bool carries_files_ = false;
};
