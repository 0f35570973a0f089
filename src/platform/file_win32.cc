// Windows: files are opened by their UTF-16 names. The C runtime hands main()
// its arguments in the ANSI code page, which cannot spell every file name (under
// code page 1252 a Japanese name arrives as "???.png"), so a path that is one of
// the command-line arguments is opened by that argument's UTF-16 form instead.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <list>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path_list.h"

// Read by the mingw start-up code: arguments holding '*' or '?' are replaced
// by the names of the files they match before main() runs.
extern "C" {
int _dowildcard = -1;
}

namespace {

// msvcrt's start-up record; it only carries the heap's new-handler mode.
struct crt_startupinfo {
    int new_mode;
};

// msvcrt's wide twin of the __getmainargs call the start-up code made for main().
extern "C" __declspec(dllimport) int __cdecl __wgetmainargs(int* argc, wchar_t*** argv,
                                                            wchar_t*** envp, int expand_wildcards,
                                                            crt_startupinfo* info);

// Longest path handled, in UTF-16 units with the terminator.
constexpr int max_path_units = 260;

struct wide_arguments {
    int count;
    wchar_t** values;
};

// The command line split and wildcard-expanded exactly as for main(), but in
// UTF-16; made once, kept for the life of the process.
const wide_arguments& process_wide_arguments() {
    static const wide_arguments args = [] {
        wide_arguments a{0, nullptr};
        wchar_t** envp = nullptr;
        crt_startupinfo info{0};
        if (__wgetmainargs(&a.count, &a.values, &envp, _dowildcard, &info) != 0 || !a.values)
            a.count = 0;
        return a;
    }();
    return args;
}

// Fills `wide` with the UTF-16 path to open for `path`, argv[`argument`] of
// main() or -1; false when it does not fit. The argument is taken by its index,
// never looked up by its ANSI text: two names the code page cannot spell
// (さくら.png and ひまり.png both arrive as "???.png") are told apart only so.
// The wide list is split and expanded like main()'s, so the index matches
// whenever the two lists are as long.
bool wide_path(const char* path, int argument, wchar_t (&wide)[max_path_units]) {
    // Paths the program made itself (the files of a folder) are UTF-8.
    if (argument == utf8_path) return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, max_path_units) > 0;
    const wide_arguments& args = process_wide_arguments();
    if (argument > 0 && argument < args.count && args.count == __argc) {
        const wchar_t* arg = args.values[argument];
        if (std::wcslen(arg) >= size_t(max_path_units)) return false;
        std::wcscpy(wide, arg);
        return true;
    }
    // Any other path means what CreateFileA would take it to mean.
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, max_path_units) > 0;
}

// The system's message for `error`, in the ANSI code page, without the line
// end it carries.
void set_reason(char (&reason)[reason_capacity], DWORD error) {
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, reason, reason_capacity, nullptr);
    while (n > 0 && (reason[n - 1] == '\r' || reason[n - 1] == '\n' || reason[n - 1] == ' ')) --n;
    if (n == 0) n = DWORD(std::snprintf(reason, reason_capacity, "error %lu", static_cast<unsigned long>(error)));
    reason[n < reason_capacity ? n : reason_capacity - 1] = '\0';
}

// Errors after which the folder takes no card at all; `created` tells
// whether the unfinished file itself could be made.
bool folder_error(DWORD error, bool created) {
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return true;
    return !created && (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT);
}

void set_failure(store_failure* why, DWORD error, bool created) {
    why->folder = folder_error(error, created);
    set_reason(why->reason, error);
}

bool refuse(load_failure* why, const char* reason) {
    std::snprintf(why->reason, reason_capacity, "%s", reason);
    return false;
}

}  // namespace

bool load_whole_file(const char* path, int argument, loaded_file* out, load_failure* why) {
    out->data = nullptr;
    out->size = 0;
    why->missing = false;
    wchar_t wide[max_path_units] = {};
    if (!wide_path(path, argument, wide)) {
        set_reason(why->reason, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // A folder cannot be opened as a file at all (access denied), which would
    // hide what it is.
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return refuse(why, "is a directory");
    const HANDLE file =
        CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        why->missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        set_reason(why->reason, error);
        return false;
    }
    // Only a file on disk is read: a pipe or a device (CON, NUL, COM1) is
    // refused before it is asked for its size or read from.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return refuse(why, "not a regular file");
    }

    // Scene positions are 32-bit: a file of 4 GiB or more is refused whole
    // rather than read in part, so the high half of the size is asked for too.
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        set_reason(why->reason, GetLastError());
        CloseHandle(file);
        return false;
    }
    if (high != 0) {
        CloseHandle(file);
        return refuse(why, "4 GiB or larger, more than a scene can be");
    }
    uint8_t* data = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (!data) {
        CloseHandle(file);
        set_reason(why->reason, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    DWORD read = 0;
    // A short read would leave bytes of the buffer unset; they must never be scanned.
    if (!ReadFile(file, data, size, &read, nullptr) || read != size) {
        if (read != size) refuse(why, "the file grew shorter while it was read");
        else set_reason(why->reason, GetLastError());
        std::free(data);
        CloseHandle(file);
        return false;
    }
    CloseHandle(file);
    out->data = data;
    out->size = size;
    return true;
}

namespace {

// The console behind `out`, when it is standard output or error and that is
// a console (not redirected to a file or a pipe); asked once for each.
HANDLE console_of(FILE* out) {
    const int which = out == stdout ? 0 : out == stderr ? 1 : -1;
    if (which < 0) return nullptr;
    static HANDLE consoles[2];
    static bool asked[2];
    if (!asked[which]) {
        asked[which] = true;
        const HANDLE h = GetStdHandle(which == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
        consoles[which] = console_handle(h) ? h : nullptr;
    }
    return consoles[which];
}

bool to_console(void* console, const wchar_t* text, unsigned long units) {
    DWORD written = 0;
    return WriteConsoleW(console, text, DWORD(units), &written, nullptr) != 0;
}

}  // namespace

bool console_handle(void* h) {
    DWORD mode = 0;
    return h && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

bool write_utf8_as_utf16(const char* data, size_t len, wide_sink sink, void* context, size_t piece) {
    // On the stack, no heap: this also tells of memory that ran out.
    wchar_t wide[text_piece_bytes];
    if (piece == 0 || piece > text_piece_bytes) piece = text_piece_bytes;
    while (len > 0) {
        size_t n = len < piece ? len : piece;
        // Back to the start of a character the piece's end would cut.
        if (n < len) {
            size_t back = n;
            while (back > 0 && n - back < 3 && (uint8_t(data[back]) & 0xC0) == 0x80) --back;
            if (back > 0) n = back;
            // A piece smaller than the character: the whole character then.
            else while (n < len && (uint8_t(data[n]) & 0xC0) == 0x80) ++n;
        }
        const int units = MultiByteToWideChar(CP_UTF8, 0, data, int(n), wide, int(text_piece_bytes));
        if (units <= 0 || !sink(context, wide, static_cast<unsigned long>(units))) return false;
        data += n;
        len -= n;
    }
    return true;
}

size_t text_write(FILE* out, const char* data, size_t len) {
    const HANDLE console = console_of(out);
    if (!console) return std::fwrite(data, 1, len, out);
    // What the stream still holds goes first, so that the order stays.
    if (std::fflush(out) != 0) return 0;
    return write_utf8_as_utf16(data, len, to_console, console) ? len : 0;
}

int text_puts(const char* text, FILE* out) {
    const size_t len = std::strlen(text);
    return text_write(out, text, len) == len ? 0 : EOF;
}

int text_putc(int c, FILE* out) {
    const char byte = char(c);
    return text_write(out, &byte, 1) == 1 ? c : EOF;
}

int text_printf(FILE* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n;
    if (!console_of(out)) {
        n = std::vfprintf(out, format, args);
    } else {
        // Every message fits; a longer text is cut rather than lost.
        char text[16384];
        n = std::vsnprintf(text, sizeof text, format, args);
        if (n >= 0) {
            const size_t len = size_t(n) < sizeof text ? size_t(n) : sizeof text - 1;
            if (text_write(out, text, len) != len) n = -1;
        }
    }
    va_end(args);
    return n;
}

const char* argument_as_utf8(int index, size_t offset) {
    static std::list<std::string> kept;  // its strings never move
    const wide_arguments& args = process_wide_arguments();
    std::string text;
    if (index > 0 && index < args.count && args.count == __argc && offset <= std::wcslen(args.values[index])) {
        // The value's start: the bytes before it are an option's ASCII name,
        // one unit each in both forms.
        const wchar_t* wide = args.values[index] + offset;
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            text.resize(size_t(n));
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
            text.resize(size_t(n - 1));
        }
    } else if (index > 0 && index < __argc) {
        wchar_t wide[max_path_units];
        char utf8[max_path_units * 3];
        if (MultiByteToWideChar(CP_ACP, 0, __argv[index] + offset, -1, wide, max_path_units) > 0 &&
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) > 0)
            text = utf8;
    }
    kept.push_back(text);
    return kept.back().c_str();
}

const char text_line_end[] = "\r\n";
const char path_separator[] = "\\";

// Consoles of Windows 7 and earlier fail a single write of more than about
// 32 KiB (ERROR_NOT_ENOUGH_MEMORY). msvcrt passes a request to WriteFile
// whole or in pieces of its 4 KiB buffer, adding nothing in binary mode, so
// this bounds every write the console sees.
const uint32_t console_write_max = 8 * 1024;

namespace {

// The unfinished file of the card being written, for the console's Ctrl+C
// handler, which runs on a thread of its own: set once the exclusive create
// made the file ours, cleared once it is renamed or removed.
wchar_t unfinished_name[max_path_units + 64];
volatile LONG unfinished = 0;

// Ctrl+C, Ctrl+Break or the console closing: the unfinished file, opened with
// delete sharing, is marked for deletion and goes when the process ends and
// its handle closes. FALSE lets the default handler end the process.
BOOL WINAPI end_on_console_event(DWORD) {
    if (unfinished) DeleteFileW(unfinished_name);
    return FALSE;
}

bool write_all(HANDLE file, const byte_range& piece) {
    size_t done = 0;
    while (done < piece.len) {
        const size_t left = piece.len - done;
        const DWORD chunk = left > (1u << 30) ? DWORD(1u << 30) : DWORD(left);
        DWORD written = 0;
        if (!WriteFile(file, piece.data + done, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

// Creates a file of a name no card has (cards never begin with a dot) that
// did not exist before; a name already taken is passed.
HANDLE create_unfinished(const wchar_t* folder) {
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::swprintf(unfinished_name, sizeof unfinished_name / sizeof unfinished_name[0],
                      L"%ls%ls.cardlift-%lu-%u.part", folder, *folder ? L"\\" : L"", GetCurrentProcessId(), serial++);
        const HANDLE file = CreateFileW(unfinished_name, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        // Only a file this process created is the handler's to delete.
        if (file != INVALID_HANDLE_VALUE) {
            InterlockedExchange(&unfinished, 1);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    const DWORD error = GetLastError();
    unfinished = 0;
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool prepare_console() {
    // Text mode would write every "\r\n" of a message as CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleCtrlHandler(end_on_console_event, TRUE);
    // No file the tool opens takes the place of a missing standard output.
    return _fileno(stdout) >= 0;
}

// The folder of the cards and a card's name in it, both UTF-8 (the folder as
// argument_as_utf8 gave it, the name as a character's may be), as one UTF-16
// path.
bool card_path(const char* folder, const char* name, wchar_t (&folder_wide)[max_path_units],
               wchar_t (&wide)[max_path_units]) {
    folder_wide[0] = L'\0';
    if (folder && MultiByteToWideChar(CP_UTF8, 0, folder, -1, folder_wide, max_path_units) <= 0) return false;
    const size_t at = std::wcslen(folder_wide);
    std::wcscpy(wide, folder_wide);
    if (at) wide[at] = L'\\';
    const size_t from = at ? at + 1 : 0;
    return MultiByteToWideChar(CP_UTF8, 0, name, -1, wide + from, int(max_path_units - from)) > 0;
}

bool store_file(const char* folder, const char* name, const byte_range* pieces, int count,
                store_failure* why) {
    wchar_t folder_wide[max_path_units], wide[max_path_units];
    if (!card_path(folder, name, folder_wide, wide)) {
        set_failure(why, GetLastError(), true);
        return false;
    }
    const HANDLE file = create_unfinished(folder_wide);
    if (file == INVALID_HANDLE_VALUE) {
        set_failure(why, GetLastError(), false);
        return false;
    }
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) ok = write_all(file, pieces[i]);
    // On disk before it takes the card's name (see file_posix.cc).
    if (ok && !FlushFileBuffers(file)) ok = false;
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !MoveFileExW(unfinished_name, wide, MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) DeleteFileW(unfinished_name);
    unfinished = 0;
    if (!ok) set_failure(why, error, true);
    return ok;
}

// The console's control handler runs on a thread of its own.
void keep_signals_from_this_thread() {}

// NTFS records the rename with the file's metadata; there is no folder to flush.
void flush_folder(const char*) {}

bool is_folder(const char* path) {
    wchar_t wide[max_path_units];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, max_path_units) <= 0) return false;
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// The volume and file index of the folder `wide`.
bool folder_identity(const wchar_t* wide, BY_HANDLE_FILE_INFORMATION* info) {
    // Backup semantics: the only way CreateFileW opens a folder.
    const HANDLE handle = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return ok;
}

}  // namespace

bool make_folders(const char* path, char (&reason)[reason_capacity]) {
    wchar_t wide[max_path_units];
    // The output folder, UTF-8 from the wide command line.
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, max_path_units) <= 0) {
        set_reason(reason, GetLastError());
        return false;
    }
    // Each folder on the way, from the top (a drive's root is passed).
    const size_t n = std::wcslen(wide);
    for (size_t at = 1; at <= n; ++at) {
        if (at < n && wide[at] != L'\\' && wide[at] != L'/') continue;
        if (at >= 1 && wide[at - 1] == L':') continue;
        const wchar_t kept = wide[at];
        wide[at] = L'\0';
        const DWORD attributes = GetFileAttributesW(wide);
        bool ok = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!ok && attributes != INVALID_FILE_ATTRIBUTES) {
            std::snprintf(reason, reason_capacity, "not a folder");
            return false;
        }
        if (!ok && !CreateDirectoryW(wide, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            set_reason(reason, GetLastError());
            return false;
        }
        wide[at] = kept;
    }
    return true;
}

namespace {

std::string utf8_of(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
    text.pop_back();  // the terminator
    return text;
}

struct folder_walk {
    path_list* list;
    bool deep;
    bool has_output;  // the output folder exists: its identity
    BY_HANDLE_FILE_INFORMATION output;
};

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// `folder` in UTF-16 to read it, `shown` the same in UTF-8 for the paths.
bool walk_folder(folder_walk& w, const std::wstring& folder, const std::string& shown, int depth,
                 char (&reason)[reason_capacity]) {
    if (folder.size() + 3 > size_t(max_path_units)) {
        std::snprintf(reason, reason_capacity, "the path is too long");
        return false;
    }
    const bool slash = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((folder + (slash ? L"*" : L"\\*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        set_reason(reason, GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION self;
    const bool in_output = w.has_output && folder_identity(folder.c_str(), &self) && same_identity(self, w.output);
    struct named {
        std::string name;  // UTF-8, for the order and the paths
        std::wstring wide;
        bool is_folder;
        bool operator<(const named& o) const { return name < o.name; }
    };
    std::vector<named> names;
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or a link to a folder is not followed: it may lead back up.
            if (w.deep && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                names.push_back({utf8_of(name.c_str()), name, true});
            continue;
        }
        if (name.size() < 5 || _wcsicmp(name.c_str() + name.size() - 4, L".png") != 0) continue;
        names.push_back({utf8_of(name.c_str()), name, false});
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    std::sort(names.begin(), names.end());
    for (const named& n : names) {
        const std::string path = shown + (slash ? "" : "\\") + n.name;
        char why[reason_capacity];
        if (!n.is_folder) {
            w.list->entries.push_back({path, "", in_output});
        } else if (depth + 1 > max_folder_depth) {
            std::snprintf(why, sizeof why, "more than %d folders deep", max_folder_depth);
            w.list->entries.push_back({path, why, false});
        } else if (!walk_folder(w, folder + (slash ? L"" : L"\\") + n.wide, path, depth + 1, why)) {
            w.list->entries.push_back({path, why, false});
        }
    }
    return true;
}

}  // namespace

// A folder named as a scene comes in the ANSI code page; the output folder in UTF-8.
path_list* list_png_files(const char* folder, bool deep, const char* output, char (&reason)[reason_capacity]) {
    wchar_t wide[max_path_units];
    if (MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, max_path_units) <= 0) {
        set_reason(reason, GetLastError());
        return nullptr;
    }
    path_list* list = new path_list;
    folder_walk w{list, deep, false, {}};
    wchar_t out[max_path_units];
    w.has_output = MultiByteToWideChar(CP_UTF8, 0, output ? output : ".", -1, out, max_path_units) > 0 &&
                   folder_identity(out, &w.output);
    if (!walk_folder(w, wide, utf8_of(wide), 0, reason)) {
        delete list;
        return nullptr;
    }
    return list;
}


// A console answers GetConsoleMode; a file, a pipe or NUL do not.
bool stdout_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

console_facts read_console_facts() {
    DWORD list[2];
    DWORD mode = 0;
    // wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return console_facts{GetConsoleProcessList(list, 2),
                         GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0, stdout_is_terminal(), wine};
}
