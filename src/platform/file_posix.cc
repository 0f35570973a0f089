// POSIX: the argument bytes are the path as they stand.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <strings.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path_list.h"

namespace {

bool read_all(int fd, uint8_t* data, uint64_t size) {
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = 0;  // the file ended early
            return false;
        }
        done += uint64_t(n);
    }
    return true;
}

}  // namespace

bool load_whole_file(const char* path, int, loaded_file* out, load_failure* why) {
    out->data = nullptr;
    out->size = 0;
    why->missing = false;
    // Without O_NONBLOCK, opening a named pipe waits for a writer, maybe for
    // ever; only a regular file is read, so the type is checked first and the
    // flag is cleared only then.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        why->missing = errno == ENOENT;
        std::snprintf(why->reason, reason_capacity, "%s", std::strerror(errno));
        return false;
    }
    struct stat st;
    const char* refused = nullptr;
    if (fstat(fd, &st) != 0 || fcntl(fd, F_SETFL, 0) != 0) refused = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) refused = "is a directory";
    else if (!S_ISREG(st.st_mode)) refused = "not a regular file";
    // Scene positions are 32-bit: a file of 4 GiB or more is refused whole
    // rather than read in part.
    else if (uint64_t(st.st_size) > UINT32_MAX) refused = "4 GiB or larger, more than a scene can be";
    uint8_t* data = nullptr;
    if (!refused) {
        data = static_cast<uint8_t*>(std::malloc(st.st_size > 0 ? size_t(st.st_size) : 1));
        if (!data) refused = std::strerror(ENOMEM);
        else if (!read_all(fd, data, uint64_t(st.st_size))) {
            refused = errno ? std::strerror(errno) : "the file grew shorter while it was read";
            std::free(data);
            data = nullptr;
        }
    }
    close(fd);
    if (refused) {
        std::snprintf(why->reason, reason_capacity, "%s", refused);
        return false;
    }
    out->data = data;
    out->size = uint32_t(st.st_size);
    return true;
}

int text_printf(FILE* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(out, format, args);
    va_end(args);
    return n;
}
size_t text_write(FILE* out, const char* data, size_t len) { return std::fwrite(data, 1, len, out); }
int text_puts(const char* text, FILE* out) { return std::fputs(text, out); }
int text_putc(int c, FILE* out) { return std::fputc(c, out); }

const char* argument_as_utf8(int, size_t) { return nullptr; }

const char text_line_end[] = "\n";
const char path_separator[] = "/";

// Large writes save system calls: the progress text of a 64 MiB scene is 256 MiB.
const uint32_t console_write_max = 64 * 1024;

namespace {

// The unfinished file of the card being written, for the signal handler: set
// only once the exclusive create made the file ours, cleared once it is
// renamed or removed, both with the handled signals blocked, so that the
// handler never removes a file of that name that is not ours.
char unfinished_name[PATH_MAX + 64];
volatile sig_atomic_t unfinished = 0;

// The signals that end the process and can be caught: each removes the
// unfinished file first. SIGPIPE is ignored instead (see prepare_console).
const int ending_signals[] = {
    SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2,
#ifdef SIGPWR
    SIGPWR,
#endif
};

// Removes the unfinished file, then ends the process as the signal would have
// (the shell then reports the usual status, 130 for an interrupt). Only
// async-signal-safe calls.
void end_on_signal(int sig) {
    const int saved = errno;
    if (unfinished) unlink(unfinished_name);
    signal(sig, SIG_DFL);
    raise(sig);
    errno = saved;  // only if the signal is blocked meanwhile and the handler returns
}

// Blocks the ending signals until the returned set is given back.
sigset_t block_ending_signals() {
    sigset_t block, previous;
    sigemptyset(&block);
    for (const int sig : ending_signals) sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &previous);
    return previous;
}
void restore_signals(const sigset_t& previous) { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

// A descriptor of 0 to 2 that is not open would be taken by the next file the
// tool opens, and console text would go into a card: a null device holds it.
bool hold_if_closed(int fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return true;
    // The lowest free descriptor: this one, as the lower ones are held already.
    open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    return false;
}

// Errors after which the folder takes no card at all; `created` tells
// whether the unfinished file itself could be made.
bool folder_error(int error, bool created) {
    if (error == ENOSPC || error == EDQUOT) return true;
    return !created && (error == EACCES || error == EPERM || error == EROFS);
}

void set_failure(store_failure* why, int error, bool created) {
    why->folder = folder_error(error, created);
    std::snprintf(why->reason, reason_capacity, "%s", std::strerror(error));
}

bool write_all(int fd, const byte_range& piece) {
    size_t done = 0;
    while (done < piece.len) {
        const ssize_t n = write(fd, piece.data + done, piece.len - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Creates a file of a name no card has (cards never begin with a dot) that
// did not exist before; a name already taken, even by a symlink, is passed.
int create_unfinished(const char* folder) {
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(unfinished_name, sizeof unfinished_name, "%s%s.cardlift-%ld-%u.part", folder ? folder : "",
                      folder ? "/" : "", long(getpid()), serial++);
        const sigset_t previous = block_ending_signals();
        const int fd = open(unfinished_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        const int error = errno;
        if (fd >= 0) unfinished = 1;
        restore_signals(previous);
        if (fd >= 0 || error != EEXIST) {
            errno = error;
            return fd;
        }
    }
    return -1;
}

}  // namespace

bool prepare_console() {
    // A pipe whose reader quits (`cardlift scene.png | head`) would otherwise
    // end the process at the next progress write, before the remaining cards
    // are written; ignored, the write fails and the progress writer stops.
    signal(SIGPIPE, SIG_IGN);
    hold_if_closed(0);
    const bool output = hold_if_closed(1);
    hold_if_closed(2);
    // A card over a file size limit (ulimit -f) fails as "File too large"
    // and the run goes on, instead of the process ending mid-card.
    signal(SIGXFSZ, SIG_IGN);
    for (const int sig : ending_signals) {
        struct sigaction current;
        // A signal ignored by whoever started the tool (nohup) stays ignored.
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        signal(sig, end_on_signal);
    }
    return output;
}

bool store_file(const char* folder, const char* name, const byte_range* pieces, int count,
                store_failure* why) {
    char path[PATH_MAX + 256];
    if (std::snprintf(path, sizeof path, "%s%s%s", folder ? folder : "", folder ? "/" : "", name) >= int(sizeof path)) {
        set_failure(why, ENAMETOOLONG, true);
        return false;
    }
    const int fd = create_unfinished(folder);
    if (fd < 0) {
        set_failure(why, errno, false);
        return false;
    }
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) ok = write_all(fd, pieces[i]);
    // On disk before it takes the card's name: after a power cut the name
    // holds the whole card or what stood there before, never an empty file.
    if (ok && fsync(fd) != 0) ok = false;
    int error = ok ? 0 : errno;
    // A full disk may show only on close (network file systems).
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    const sigset_t previous = block_ending_signals();
    if (ok && rename(unfinished_name, path) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) unlink(unfinished_name);
    unfinished = 0;
    restore_signals(previous);
    if (!ok) set_failure(why, error, true);
    return ok;
}

void flush_folder(const char* folder) {
    const int fd = open(folder ? folder : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // a folder some systems cannot flush keeps its cards all the same
    close(fd);
}

void keep_signals_from_this_thread() {
    block_ending_signals();
}

bool is_folder(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_folders(const char* path, char (&reason)[reason_capacity]) {
    std::string partial;
    const std::string whole = path;
    // Each folder on the way, from the top: those that exist are passed.
    for (size_t at = 0; at <= whole.size(); ++at) {
        if (at < whole.size() && (whole[at] != '/' || at == 0)) continue;
        partial = whole.substr(0, at);
        if (partial.empty() || is_folder(partial.c_str())) continue;
        if (mkdir(partial.c_str(), 0777) == 0) continue;
        // The cause before the checks below can change errno.
        const int error = errno;
        if (error == EEXIST && is_folder(partial.c_str())) continue;
        struct stat st;
        const bool link = error == EEXIST && lstat(partial.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        std::snprintf(reason, reason_capacity, "%s",
                      link ? "a link to nothing" : error == EEXIST ? "not a folder" : std::strerror(error));
        return false;
    }
    return true;
}

namespace {

struct folder_walk {
    path_list* list;
    bool deep;
    bool has_output;  // the output folder exists: its identity
    dev_t output_dev;
    ino_t output_ino;
};

bool walk_folder(folder_walk& w, const std::string& folder, int depth, char (&reason)[reason_capacity]) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        std::snprintf(reason, reason_capacity, "%s", std::strerror(errno));
        return false;
    }
    struct stat self;
    const bool in_output = w.has_output && fstat(dirfd(dir), &self) == 0 && self.st_dev == w.output_dev &&
                           self.st_ino == w.output_ino;
    const std::string slash = !folder.empty() && folder.back() == '/' ? "" : "/";
    std::vector<std::pair<std::string, bool>> names;  // and whether it is a folder to go into
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + slash + name;
        struct stat st;
        // A link to a folder is not followed: it may lead back up.
        if (w.deep && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            names.emplace_back(name, true);
            continue;
        }
        if (name.size() < 5 || strcasecmp(name.c_str() + name.size() - 4, ".png") != 0) continue;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.emplace_back(name, false);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const auto& [name, is_folder] : names) {
        const std::string path = folder + slash + name;
        char why[reason_capacity];
        if (!is_folder) {
            w.list->entries.push_back({path, "", in_output});
        } else if (depth + 1 > max_folder_depth) {
            std::snprintf(why, sizeof why, "more than %d folders deep", max_folder_depth);
            w.list->entries.push_back({path, why, false});
        } else if (!walk_folder(w, path, depth + 1, why)) {
            w.list->entries.push_back({path, why, false});
        }
    }
    return true;
}

}  // namespace

path_list* list_png_files(const char* folder, bool deep, const char* output, char (&reason)[reason_capacity]) {
    path_list* list = new path_list;
    folder_walk w{list, deep, false, 0, 0};
    struct stat out;
    if (stat(output ? output : ".", &out) == 0) {
        w.has_output = true;
        w.output_dev = out.st_dev;
        w.output_ino = out.st_ino;
    }
    if (!walk_folder(w, folder, 0, reason)) {
        delete list;
        return nullptr;
    }
    return list;
}


bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

// A terminal window belongs to its shell, never to this program alone.
console_facts read_console_facts() {
    return console_facts{0, isatty(STDIN_FILENO) == 1, stdout_is_terminal(), false};
}
