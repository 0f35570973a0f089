// Loaded into the tool with LD_PRELOAD by end-to-end tests, to see and steer
// what the tool asks of the file system from inside it:
// - CARDLIFT_SYNC_TRACE=FILE: one line is appended to FILE for each fsync
//   ("fsync file" or "fsync folder NAME", NAME its path's last part) and each rename ("rename NAME"), in the
//   order the tool makes them.
// - CARDLIFT_WRITE_GATE=PATH: the first write to an unfinished card file
//   (".cardlift-*") creates PATH.waiting and then waits until PATH.open exists,
//   so that a test knows a card is being written, and for as long as it likes.
// - CARDLIFT_WRITE_ERRNO=E (with CARDLIFT_WRITE_ERRNO_FROM=N, default 1):
//   writes to the Nth unfinished card file and every later one fail with
//   errno E, as a disk that fills up does.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void note(const char* what, const char* detail) {
    const char* path = std::getenv("CARDLIFT_SYNC_TRACE");
    if (!path) return;
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%s %s\n", what, detail);
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, line, size_t(n)) < 0) {}
    close(fd);
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The last part of the path `fd` was opened by; empty when unknown.
std::string last_part(int fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return "";
    target[n] = '\0';
    const char* base = std::strrchr(target, '/');
    return base ? base + 1 : target;
}

// The name of the unfinished card file `fd` writes to; empty for any other.
std::string unfinished_card(int fd) {
    const std::string base = last_part(fd);
    return base.starts_with(".cardlift-") ? base : "";
}

void pass_the_gate(int fd) {
    static bool passed = false;
    const char* gate = std::getenv("CARDLIFT_WRITE_GATE");
    if (!gate || passed || unfinished_card(fd).empty()) return;
    passed = true;
    const std::string waiting = std::string(gate) + ".waiting", open_file = std::string(gate) + ".open";
    close(open(waiting.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    const timespec pause{0, 1000000};  // 1 ms
    while (access(open_file.c_str(), F_OK) != 0) nanosleep(&pause, nullptr);
}

}  // namespace

extern "C" int fsync(int fd) {
    struct stat st;
    // A folder by its name, so that a test sees which one was flushed.
    note("fsync", fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? ("folder " + last_part(fd)).c_str() : "file");
    return next<int (*)(int)>("fsync")(fd);
}

extern "C" int rename(const char* from, const char* to) {
    note("rename", to);
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

// Counts the unfinished card files written to; true when this write must fail.
bool planted_failure(int fd) {
    static std::string last;
    static int files = 0;
    const char* error = std::getenv("CARDLIFT_WRITE_ERRNO");
    if (!error) return false;
    const std::string name = unfinished_card(fd);
    if (name.empty()) return false;
    if (name != last) ++files, last = name;
    const char* from = std::getenv("CARDLIFT_WRITE_ERRNO_FROM");
    if (files < (from ? std::atoi(from) : 1)) return false;
    errno = std::atoi(error);
    return true;
}

extern "C" ssize_t write(int fd, const void* data, size_t len) {
    pass_the_gate(fd);
    if (planted_failure(fd)) return -1;
    return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, len);
}
