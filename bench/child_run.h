// Running a program as a child process and measuring it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Wall time is what a user waits; CPU time (user + system) is what the work
// costs, and stays put when other jobs on the machine take turns on the cores.
struct timing {
    double wall = 0;  // seconds
    double cpu = 0;   // seconds
};

struct child_result {
    bool ok = false;        // started and exited with status 0
    timing time;            // from fork to exit
    long peak_rss_kib = 0;  // the child's ru_maxrss
};

// Receives the child's standard output piece by piece, when one is given.
struct output_reader {
    void (*consume)(void* context, const char* data, size_t length);
    void* context;
};

// Runs `args` (args[0] is the program path) in directory `dir`. Standard output
// goes to `reader` through a pipe, or to /dev/null when there is none; with
// `on_terminal`, to a pseudo-terminal whose other side is read (by `reader`
// when given) as a terminal window would. Standard error always goes to
// /dev/null.
child_result run_child(const std::vector<std::string>& args, const std::string& dir,
                       const output_reader* reader = nullptr, bool on_terminal = false);

// This process's clocks now: monotonic wall seconds and CPU seconds used.
timing clocks_now();
