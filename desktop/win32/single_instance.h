// SingleInstance: one running copy per user and session, claimed with a named mutex.
#pragma once

#include <string>

#include "win32_handles.h"

// The claim lasts as long as the object, and the system drops it when the process ends, however
// it ends.
class SingleInstance {
public:
    explicit SingleInstance(std::wstring name = DefaultName());

    // True when this object holds the claim (now or from an earlier call); false when another
    // process holds it. Raises Failure when the mutex cannot be made for another reason.
    bool TryClaim();

    // "Local\Vellumine-" and the user's SID: Local\ keeps it to this session (a second user on
    // the same machine, or the same user over Remote Desktop, runs a copy of their own).
    static std::wstring DefaultName();

private:
    std::wstring name_;
    UniqueKernelHandle mutex_;
};
