// The clipboard through OpenClipboard, EmptyClipboard and SetClipboardData.
#include "clipboard.h"

#include <cstring>

#include "failure.h"
#include "file_list.h"

namespace {

// Clipboard viewers and managers open the clipboard for a few milliseconds after every change;
// OpenClipboard fails while they have it, so it is tried again for up to half a second.
constexpr int kOpenAttempts = 50;
constexpr DWORD kOpenPauseMs = 10;

}  // namespace

OpenedClipboard::OpenedClipboard(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (::OpenClipboard(owner)) {
            return;
        }
        ::Sleep(kOpenPauseMs);
    }
    throw Failure("another program keeps the clipboard open");
}

OpenedClipboard::~OpenedClipboard() {
    ::CloseClipboard();
}

void OpenedClipboard::Empty() {
    if (!::EmptyClipboard()) {
        throw Failure("cannot empty the clipboard");
    }
}

void OpenedClipboard::PutText(std::wstring_view text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal block = AllocateGlobal(bytes);
    {
        const LockedGlobal locked(block.Get());
        std::memcpy(locked.Data(), text.data(), text.size() * sizeof(wchar_t));
        static_cast<wchar_t*>(locked.Data())[text.size()] = L'\0';
    }
    // Only CF_UNICODETEXT is put: Windows makes CF_TEXT and CF_OEMTEXT from it for programs
    // that ask for those.
    if (::SetClipboardData(CF_UNICODETEXT, block.Get()) == nullptr) {
        throw Failure("the clipboard did not take the text");
    }
    block.Release();  // the clipboard owns it now
    // Reading it back tells a clipboard that took the text from one that only said so.
    const HGLOBAL stored = ::GetClipboardData(CF_UNICODETEXT);
    if (stored == nullptr) {
        throw Failure("the clipboard lost the text");
    }
    const LockedGlobal locked(stored);
    const auto* stored_text = static_cast<const wchar_t*>(locked.Data());
    if (::GlobalSize(stored) < bytes || std::wstring_view(stored_text, text.size()) != text) {
        throw Failure("the clipboard holds another text");
    }
}

UniqueGlobal OpenedClipboard::CopyFileList() {
    // Only the list is read: a list that was cut is never moved, nor its files deleted, and the
    // clipboard is given nothing back that would let its source think otherwise.
    const HGLOBAL list = ::GetClipboardData(CF_HDROP);
    if (list == nullptr) {
        return {};
    }
    return ::CopyFileList(list);
}
