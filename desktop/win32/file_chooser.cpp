// ChooseImageFile on IFileOpenDialog.
#include "file_chooser.h"

// Needs the types that windows.h declares.
#include <shobjidl.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "form1.h"
#include "wide_text.h"
#include "win32_handles.h"

namespace {

void Check(HRESULT result, const char* what) {
    if (FAILED(result)) {
        throw Failure(what);
    }
}

// The item's file-system path, or nothing for an item that has none.
std::optional<std::wstring> PathOf(IShellItem* item) {
    wchar_t* name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        return std::nullopt;
    }
    std::wstring path(name);
    ::CoTaskMemFree(name);
    return path;
}

}  // namespace

std::optional<std::wstring> ChooseImageFile(HWND owner, std::wstring& folder) {
    IFileOpenDialog* raw_dialog = nullptr;
    Check(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&raw_dialog)),
          "cannot create the file chooser");
    const UniqueCom<IFileOpenDialog> dialog(raw_dialog);

    // The dialog copies the names and patterns; they need to live only until it has them.
    std::vector<std::pair<std::wstring, std::wstring>> texts;
    std::vector<COMDLG_FILTERSPEC> types;
    for (const FileFilterSpec& filter : Form1.chooser_filters) {
        std::wstring patterns = ToWide(filter.patterns);
        std::ranges::replace(patterns, L' ', L';');  // the dialog's separator
        texts.emplace_back(ToWide(filter.name), std::move(patterns));
    }
    for (const auto& [name, patterns] : texts) {
        types.push_back({name.c_str(), patterns.c_str()});
    }
    Check(dialog.Get()->SetFileTypes(static_cast<UINT>(types.size()), types.data()),
          "cannot set the chooser's file types");
    Check(dialog.Get()->SetFileTypeIndex(1), "cannot set the chooser's file type");
    Check(dialog.Get()->SetTitle(ToWide(Form1.chooser_title).c_str()),
          "cannot set the chooser's title");
    FILEOPENDIALOGOPTIONS options = 0;
    Check(dialog.Get()->GetOptions(&options), "cannot read the chooser's options");
    // No change of the process's working folder, and only files that a drop could bring.
    Check(dialog.Get()->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_FILEMUSTEXIST |
                                   FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR),
          "cannot set the chooser's options");
    if (!folder.empty()) {
        IShellItem* raw_start = nullptr;
        // A folder that has gone since is passed over: the dialog then starts where it likes.
        if (SUCCEEDED(
                ::SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&raw_start)))) {
            const UniqueCom<IShellItem> start(raw_start);
            dialog.Get()->SetFolder(start.Get());
        }
    }

    const HRESULT shown = dialog.Get()->Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return std::nullopt;
    }
    Check(shown, "the file chooser failed");
    IShellItem* raw_chosen = nullptr;
    Check(dialog.Get()->GetResult(&raw_chosen), "the chooser gave no file");
    const UniqueCom<IShellItem> chosen(raw_chosen);
    std::optional<std::wstring> path = PathOf(chosen.Get());
    if (!path) {
        throw Failure("the chosen item is not a file");
    }
    IShellItem* raw_parent = nullptr;
    if (SUCCEEDED(chosen.Get()->GetParent(&raw_parent))) {
        const UniqueCom<IShellItem> parent(raw_parent);
        folder = PathOf(parent.Get()).value_or(folder);
    }
    return path;
}
