// POSIX: the argument bytes are the path as they stand.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file.h"

namespace {

bool read_all(int fd, uint8_t* data, uint64_t size) {
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += uint64_t(n);
    }
    return true;
}

}  // namespace

bool load_whole_file(const char* path, loaded_file* out) {
    out->data = nullptr;
    out->size = 0;
    // Without O_NONBLOCK, opening a named pipe waits for a writer, maybe for
    // ever; only a regular file is read, so the type is checked first and the
    // flag is cleared only then.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    // Scene positions are 32-bit: a file of 4 GiB or more is refused whole
    // rather than read in part.
    const bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                        uint64_t(st.st_size) <= UINT32_MAX && fcntl(fd, F_SETFL, 0) == 0;
    uint8_t* data = nullptr;
    if (usable) {
        data = static_cast<uint8_t*>(std::malloc(st.st_size > 0 ? size_t(st.st_size) : 1));
        if (data && !read_all(fd, data, uint64_t(st.st_size))) {
            std::free(data);
            data = nullptr;
        }
    }
    close(fd);
    if (!data) return false;
    out->data = data;
    out->size = uint32_t(st.st_size);
    return true;
}

// Large writes save system calls: the progress text of a 64 MiB scene is 256 MiB.
const uint32_t console_write_max = 64 * 1024;

void prepare_console() {
    // A pipe whose reader quits (`cardlift scene.png | head`) would otherwise
    // end the process at the next progress write, before the remaining cards
    // are written; ignored, the write fails and the progress writer stops.
    signal(SIGPIPE, SIG_IGN);
}
