// The few things that differ between operating systems: loading a whole file
// and preparing the console. Each platform has its own implementation file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct loaded_file {
    uint8_t* data;   // released with free()
    uint32_t size;
};

// Room for the system's words for why a file could not be read or written.
constexpr size_t reason_capacity = 160;

// Why a file could not be loaded.
struct load_failure {
    bool missing;  // nothing of that name (no such file or folder on the way)
    char reason[reason_capacity];  // the system's words, or ours for the checks we make
};

// Reads the whole file named by the command-line argument `path` into one
// malloc'd buffer. Returns false, with nothing allocated and the reason in
// `why`, when the file cannot be opened or read in full, is not a regular file
// (a directory, a named pipe, a device: refused without waiting on it), or is
// 4 GiB or larger. `argument` is the index in main()'s argv that `path` came
// from, -1 for none: where main()'s arguments cannot spell every file name
// (Windows: the ANSI code page), that argument's native form is opened.
bool load_whole_file(const char* path, int argument, loaded_file* out, load_failure* why);

// Puts standard output and standard error in the state the tool's byte-exact
// messages need (binary mode where the platform has a text mode), and makes a
// closed standard output fail its writes instead of ending the process.
// Returns false when standard output was not open at all: its writes are lost
// then (its slot is held by a null device, so no file the tool opens can take
// it and receive console text).
bool prepare_console();

// One piece of a file's contents.
struct byte_range {
    const uint8_t* data;
    size_t len;
};

// Stores the pieces, one after another, as the file `name` in the current
// directory. They are written to a new file, created exclusively under a name
// no card can have, flushed to disk, and only a complete file is renamed onto
// `name`: whatever
// stood there (an earlier card, a symbolic or hard link) is replaced, never
// written through, and stays as it was when the write fails. An interrupt or
// termination signal meanwhile removes the unfinished file before the process
// ends as the signal says. Returns false, with the reason in `why`, when the
// file could not be stored; nothing is left behind then.
struct store_failure {
    // The folder takes no file at all: no space, no quota left, read-only,
    // no permission to create files. Any other failure is this card's alone
    // (its name taken by a folder, a file size limit).
    bool folder;
    char reason[reason_capacity];
};
// `folder` (null: the current directory) is where both files are made; `name`
// is UTF-8.
bool store_file(const char* folder, const char* name, const byte_range* pieces, int count,
                store_failure* why);

// Makes the folder `path` and any missing folders above it. Returns false,
// with the reason, when it cannot be made or a file stands in its way.
bool make_folders(const char* path, char (&reason)[reason_capacity]);

// Whether `path` names a folder.
bool is_folder(const char* path);

// The regular files directly in `folder` whose names end in ".png" (any
// case), and with `deep` those in every folder below it, at any depth (not
// through links, at most max_folder_depth down), each as a path: folder, a
// separator, the name. Each folder's names are sorted byte by byte, and a
// subfolder's files stand in its place among them. On Windows the paths are
// UTF-8, to be loaded with utf8_path as their argument. False, with the
// reason, when `folder` cannot be read; a subfolder that cannot be read is an
// entry of its own with the reason (path_problem). Each file notes whether
// its folder is `output` (null: the current directory), however spelt.
constexpr int utf8_path = -2;
constexpr int max_folder_depth = 32;
struct path_list;
path_list* list_png_files(const char* folder, bool deep, const char* output, char (&reason)[reason_capacity]);
int path_count(const path_list* list);
const char* path_at(const path_list* list, int index);
// Why the subfolder at `index` could not be read; null for a file.
const char* path_problem(const path_list* list, int index);
// Whether the file at `index` lies directly in the output folder.
bool path_in_output(const path_list* list, int index);
void free_path_list(path_list* list);

// Keeps the signals that end the process away from the calling thread (a
// drawing thread), so that the thread that writes the cards, which knows the
// unfinished file and has its signals blocked while that changes, takes them.
void keep_signals_from_this_thread();

// Puts the entries of `folder` (null: the current directory), the names of
// the cards renamed into it, on disk, where the system needs that apart from
// the files themselves.
void flush_folder(const char* folder);

// True when standard output is an interactive terminal or console, where the
// progress text is shown, not stored.
bool stdout_is_terminal();

// What tells whether the program has a console window of its own (see
// should_wait_for_enter).
struct console_facts {
    uint32_t processes;      // processes attached to this process's console; 0: none, or no such consoles
    bool input_is_console;   // standard input reads from that console
    bool output_is_console;  // standard output writes to it
    // Under wine the console is the Unix terminal the program was started
    // from, whose shell is no Windows process and so never counts.
    bool under_wine;
};
console_facts read_console_facts();

// Every text the program prints goes through these, so that one place decides
// how it reaches the user. Into a file or a pipe the bytes go as they are
// (UTF-8), through the C stream. On a Windows console, whose code page (437,
// 1252, 932...) would show UTF-8 as nonsense, the text is written as UTF-16
// with WriteConsoleW, one call for each call here, after whatever the stream
// held. Like their C namesakes, but text_write returns the bytes taken (all
// or 0) and the others a negative number on failure.
int text_printf(FILE* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
size_t text_write(FILE* out, const char* data, size_t len);
int text_puts(const char* text, FILE* out);
int text_putc(int c, FILE* out);

#ifdef _WIN32
// The Windows side of the text functions, for its tests: whether the handle
// `h` is a console, and UTF-8 converted to UTF-16 and handed to `sink` in
// pieces of at most `piece` bytes (0: text_piece_bytes), never a character
// split between two; false when the sink refused a piece.
constexpr size_t text_piece_bytes = 2048;
using wide_sink = bool (*)(void* context, const wchar_t* text, unsigned long units);
bool console_handle(void* h);
bool write_utf8_as_utf16(const char* data, size_t len, wide_sink sink, void* context, size_t piece = 0);
#endif

// The command-line argument `index` from byte `offset` on, as UTF-8: on
// Windows from its UTF-16 form (main()'s ANSI text cannot spell every name),
// elsewhere argv's own bytes, null then. Kept for the life of the process.
const char* argument_as_utf8(int index, size_t offset);

// How a line of a text file ends on this system: "\n", or "\r\n" on Windows.
extern const char text_line_end[];
// What joins a folder and a name in the paths the tool makes: "/", or "\\" on Windows.
extern const char path_separator[];

// The most bytes the progress text hands to standard output in one write.
extern const uint32_t console_write_max;
