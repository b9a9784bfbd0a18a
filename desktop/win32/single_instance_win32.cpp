// SingleInstance as a named mutex in the session's namespace.
#include <windows.h>
// Needs the types that windows.h declares.
#include <sddl.h>

#include <vector>

#include "failure.h"
#include "single_instance.h"

SingleInstance::SingleInstance(std::wstring name) : name_(std::move(name)) {}

bool SingleInstance::TryClaim() {
    if (mutex_) {
        return true;
    }
    // Creating a named object is atomic: of two copies started together exactly one creates it,
    // and the other is told ERROR_ALREADY_EXISTS (and still gets a handle, which it lets go).
    UniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, name_.c_str()));
    const DWORD error = ::GetLastError();
    if (!mutex) {
        // The name is taken by an object this process may not open: another copy holds it.
        if (error == ERROR_ACCESS_DENIED) {
            return false;
        }
        throw Failure("cannot create the single-instance mutex (error " + std::to_string(error) +
                      ")");
    }
    if (error == ERROR_ALREADY_EXISTS) {
        return false;
    }
    mutex_ = std::move(mutex);
    return true;
}

std::wstring SingleInstance::DefaultName() {
    HANDLE raw_token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
        throw Failure("cannot open the process token");
    }
    const UniqueKernelHandle token(raw_token);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    // DWORD-aligned storage for the TOKEN_USER and the SID after it.
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
    if (size == 0 ||
        !::GetTokenInformation(token.Get(), TokenUser, buffer.data(),
                               static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size)) {
        throw Failure("cannot read the user of the process token");
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    LPWSTR sid_text = nullptr;
    if (!::ConvertSidToStringSidW(user->User.Sid, &sid_text)) {
        throw Failure("cannot write the user's SID as text");
    }
    std::wstring name = L"Local\\Vellumine-";
    name += sid_text;
    ::LocalFree(sid_text);
    return name;
}
