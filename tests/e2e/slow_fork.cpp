// Loaded into the clipboard keeper by an end-to-end case: holds every fork back for 1.5 s, as a
// loaded machine may hold a keeper that has just taken the clipboard over.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern "C" pid_t fork() noexcept {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return reinterpret_cast<pid_t (*)()>(dlsym(RTLD_NEXT, "fork"))();
}
