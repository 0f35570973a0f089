#include "child_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

double clock_seconds(clockid_t id) {
    timespec ts;
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double seconds_of(const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6; }

// Reads until the writers are gone: the end of a pipe, or EIO on a terminal.
void drain(int fd, const output_reader* reader) {
    static char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        if (reader) reader->consume(reader->context, buffer, size_t(n));
    }
}

// A pseudo-terminal passing bytes through unchanged: `ends[0]` the side read
// here, `ends[1]` the child's standard output.
bool open_terminal(int ends[2]) {
    ends[0] = posix_openpt(O_RDWR | O_NOCTTY);
    if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0) return false;
    const char* name = ptsname(ends[0]);
    ends[1] = name ? open(name, O_RDWR | O_NOCTTY) : -1;
    termios mode{};
    if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) return false;
    cfmakeraw(&mode);
    return tcsetattr(ends[1], TCSANOW, &mode) == 0;
}

}  // namespace

timing clocks_now() {
    return timing{clock_seconds(CLOCK_MONOTONIC), clock_seconds(CLOCK_PROCESS_CPUTIME_ID)};
}

child_result run_child(const std::vector<std::string>& args, const std::string& dir,
                       const output_reader* reader, bool on_terminal) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    child_result result;
    int pipe_fds[2] = {-1, -1};
    const bool read_back = reader || on_terminal;
    if (on_terminal ? !open_terminal(pipe_fds) : reader && pipe(pipe_fds) != 0) return result;
    const double start = clocks_now().wall;
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(read_back ? pipe_fds[1] : null_fd, 1);
        dup2(null_fd, 2);
        if (read_back) {
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (read_back) {
        // The write end must close here, or the read never sees the end.
        close(pipe_fds[1]);
        drain(pipe_fds[0], reader);
        close(pipe_fds[0]);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    result.time.wall = clocks_now().wall - start;
    result.time.cpu = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    result.peak_rss_kib = usage.ru_maxrss;  // kilobytes on Linux
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}
