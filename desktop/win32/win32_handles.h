// Owners for Win32 handles, GDI objects, icons, global memory and COM objects, each released once.
#pragma once

#include <windows.h>

#include <utility>

#include "failure.h"

// Owns one value of a Win32 handle kind; Traits names its empty value and how to release it.
template <typename Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value value) : value_(value) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Value Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }
    Value Release() { return std::exchange(value_, Traits::Empty()); }
    void Reset(Value value = Traits::Empty()) {
        if (value_ != Traits::Empty()) {
            Traits::Close(value_);
        }
        value_ = value;
    }

private:
    Value value_ = Traits::Empty();
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE, not NULL.
struct FileHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) { ::CloseHandle(value); }
};

// Mutexes, tokens and most other kernel objects report failure with NULL.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::CloseHandle(value); }
};

template <typename Object>
struct GdiObjectTraits {
    using Value = Object;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::DeleteObject(value); }
};

struct IconTraits {
    using Value = HICON;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::DestroyIcon(value); }
};

struct GlobalMemoryTraits {
    using Value = HGLOBAL;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::GlobalFree(value); }
};

struct AcceleratorTraits {
    using Value = HACCEL;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::DestroyAcceleratorTable(value); }
};

// A COM interface pointer, released once; it comes with one reference of its own.
template <typename Interface>
struct ComTraits {
    using Value = Interface*;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { value->Release(); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueGlobal = UniqueHandle<GlobalMemoryTraits>;
using UniqueAccelerators = UniqueHandle<AcceleratorTraits>;
template <typename Interface>
using UniqueCom = UniqueHandle<ComTraits<Interface>>;

// A global memory block's contents, locked for the object's lifetime.
class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL block) : block_(block), data_(::GlobalLock(block)) {
        if (data_ == nullptr) {
            throw Failure("cannot lock global memory");
        }
    }
    ~LockedGlobal() { ::GlobalUnlock(block_); }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* Data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// A movable global memory block of the given size; fails when there is no memory for it.
inline UniqueGlobal AllocateGlobal(std::size_t bytes, UINT flags = GMEM_MOVEABLE) {
    UniqueGlobal block(::GlobalAlloc(flags, bytes));
    if (!block) {
        throw Failure("no memory for a global block");
    }
    return block;
}
