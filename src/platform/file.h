// The few things that differ between operating systems: loading a whole file
// and preparing the console. Each platform has its own implementation file.
#pragma once

#include <cstdint>

struct loaded_file {
    uint8_t* data;   // released with free()
    uint32_t size;
};

// Reads the whole file named by the command-line argument `path` into one
// malloc'd buffer. Returns false, with nothing allocated, when the file cannot
// be opened or read in full, is not a regular file (a directory, a named pipe,
// a device: refused without waiting on it), or is 4 GiB or larger. Where
// main()'s arguments cannot spell every file name (Windows: the ANSI code
// page), a `path` that is one of them is opened by the argument's native form.
bool load_whole_file(const char* path, loaded_file* out);

// Puts standard output and standard error in the state the tool's byte-exact
// messages need (binary mode where the platform has a text mode), and makes a
// closed standard output fail its writes instead of ending the process.
void prepare_console();

// The most bytes the progress text hands to standard output in one write.
extern const uint32_t console_write_max;
