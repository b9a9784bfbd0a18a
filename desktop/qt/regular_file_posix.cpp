// Regular-file access on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure.h"
#include "regular_file.h"

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw Failure(what + " " + path + ": " + std::strerror(errno));
}

void RefuseEmbeddedNul(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw Failure("a path with a NUL character");
    }
}

// A path that starts with exactly two slashes names a file on another machine, as QUrl writes
// file://host/path; Linux would read it as /path on this one, which is another file.
void RefuseOtherMachine(const std::string& path) {
    if (path.starts_with("//") && !path.starts_with("///")) {
        throw Failure("a file on another machine: " + path);
    }
}

}  // namespace

std::uint64_t RegularFileLength(const std::string& path) {
    RefuseEmbeddedNul(path);
    RefuseOtherMachine(path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        Fail("cannot look at", path);
    }
    if (!S_ISREG(status.st_mode)) {
        throw Failure("not a regular file: " + path);
    }
    return static_cast<std::uint64_t>(status.st_size);
}

ByteText ReadRegularFile(const std::string& path, std::size_t count) {
    RefuseEmbeddedNul(path);
    RefuseOtherMachine(path);
    // O_NONBLOCK: if a pipe took the file's place since its length was taken, opening it must
    // not wait for a writer; the type check below then refuses it.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0) {
        Fail("cannot open", path);
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        Fail("cannot look at", path);
    }
    if (!S_ISREG(status.st_mode)) {
        throw Failure("not a regular file: " + path);
    }
    // A file that changed size since its length was taken is still being written; its first
    // bytes would make a broken image that looks like a success.
    if (static_cast<std::uint64_t>(status.st_size) != count) {
        throw Failure("the file changed while it was read: " + path);
    }
    ByteText bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(file.Get(), bytes.data() + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            Fail("cannot read", path);
        }
        if (got == 0) {
            throw Failure("the file became shorter while it was read: " + path);
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}
