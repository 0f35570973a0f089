// Running the built tool in a throw-away directory and reading what it left.
#pragma once

#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "scene/crc32.h"
#include "png_builder.h"

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A temporary directory; the tool runs in `work`, its console streams beside it.
struct sandbox {
    std::string root = (std::filesystem::temp_directory_path() / "cardlift_e2e_XXXXXX").string();
    std::string work = (mkdtemp(root.data()) ? root : "/nonexistent") + "/work";
    sandbox() { std::filesystem::create_directory(work); }
    ~sandbox() { std::error_code ignored; std::filesystem::remove_all(root, ignored); }
};

struct run_result {
    int status = -1;  // -1 when the tool did not exit normally
    std::string out, err;
};

inline bool tool_overridden() { return getenv("CARDLIFT_TOOL") && *getenv("CARDLIFT_TOOL"); }
// Set by tools/test_windows.sh for the Windows build under wine (ANSI code page 1252).
inline bool windows_tool() { return getenv("CARDLIFT_TOOL_WINDOWS") && *getenv("CARDLIFT_TOOL_WINDOWS") == '1'; }

// The system's words for a file that is not there (wine has its own).
inline std::string missing_reason() { return windows_tool() ? "File not found." : "No such file or directory"; }

inline std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// CARDLIFT_TOOL when set, else the built binary, run in `work` after `launcher`.
inline std::string tool_command(const sandbox& box, const std::vector<std::string>& args,
                                const std::string& launcher = "") {
    std::string command = "cd " + quoted(box.work) + " && " + launcher;
    command += tool_overridden() ? std::string(getenv("CARDLIFT_TOOL")) : quoted(CARDLIFT_TOOL_PATH);
    for (const std::string& arg : args) command += " " + quoted(arg);
    return command + " </dev/null";
}

// Checks the standard output of a --json run (in `path`) against the
// published schema with a real validator: every document any test makes.
inline void expect_valid_document(const std::string& path) {
    const std::string command = "/usr/bin/python3 " + quoted(CARDLIFT_SCHEMA_CHECK) + " " +
                                quoted(CARDLIFT_SCHEMA) + " " + quoted(path) + " 2>&1";
    std::string said;
    FILE* check = popen(command.c_str(), "r");
    ASSERT_TRUE(check) << command;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, check)) > 0;) said.append(buffer, n);
    const int status = pclose(check);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the JSON document breaks the schema:\n" << said.substr(0, 3000);
}

inline run_result run_tool(const sandbox& box, const std::vector<std::string>& args, const std::string& launcher = "") {
    const int raw = system((tool_command(box, args, launcher) + " >" + quoted(box.root + "/stdout") + " 2>" +
                            quoted(box.root + "/stderr")).c_str());
    run_result r{raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_text(box.root + "/stdout"),
                 read_text(box.root + "/stderr")};
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    if (json && (r.status == 0 || r.status == 1)) expect_valid_document(box.root + "/stdout");
    return r;
}

// What shows on a terminal, for comparing the Windows tool under wine: wine's
// console draws the text on the terminal itself, with escape sequences for the
// cursor (a space becomes "erase to the end, move right") and with carriage
// returns it leaves out or doubles, so only the characters shown, in order,
// are compared there.
inline std::string shown_characters(const std::string& drawn) {
    std::string shown;
    for (size_t at = 0; at < drawn.size(); ++at) {
        if (drawn[at] == '\r' || drawn[at] == '\n') continue;
        if (drawn[at] != '\x1b' || at + 1 >= drawn.size() || drawn[at + 1] != '[') {
            shown += drawn[at];
            continue;
        }
        size_t end = at + 2;
        while (end < drawn.size() && !std::isalpha(static_cast<unsigned char>(drawn[end]))) ++end;
        const int moved = std::atoi(drawn.c_str() + at + 2);  // 0 when left out: one column
        if (end < drawn.size() && drawn[end] == 'C') shown.append(size_t(moved > 0 ? moved : 1), ' ');
        at = end;
    }
    return shown;
}

// A progress stream as a terminal gets it: each four-byte percentage text only
// where it differs from the one before; anything after the texts as it is.
inline std::string each_percentage_once(const std::string& stream) {
    std::string once, last;
    size_t at = 0;
    for (; at + 4 <= stream.size() && stream[at] == '\r' && stream[at + 3] == '%'; at += 4) {
        const std::string unit = stream.substr(at, 4);
        if (unit != last) once += unit;
        last = unit;
    }
    once += stream.substr(at);
    return windows_tool() ? shown_characters(once) : once;
}

// The same with standard output on a pseudo-terminal, as a user watching the
// run has it; the terminal passes bytes through unchanged (no CR added before
// LF), so what arrives is what the tool wrote. With `errors_too`, standard
// error shares the terminal, as on a user's screen.
inline run_result run_tool_on_terminal(const sandbox& box, const std::vector<std::string>& args,
                                       bool errors_too = false) {
    termios raw_mode{};
    cfmakeraw(&raw_mode);
    int terminal = -1;
    const std::string command = tool_command(box, args) + (errors_too ? " 2>&1" : " 2>" + quoted(box.root + "/stderr"));
    const pid_t child = forkpty(&terminal, nullptr, &raw_mode, nullptr);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    run_result r;
    if (child < 0) return r;
    char block[65536];
    for (ssize_t n; (n = read(terminal, block, sizeof block)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;  // EIO: the last writer closed its side
        r.out.append(block, size_t(n));
    }
    close(terminal);
    int raw = 0;
    if (waitpid(child, &raw, 0) == child && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.err = read_text(box.root + "/stderr");
    if (windows_tool()) r.out = shown_characters(r.out);
    return r;
}

// Two texts or byte strings, equal or not; when not, a failure says where
// they first differ, with a few bytes on either side, escaped, and their
// sizes, never the whole of them (a progress stream runs to hundreds of MB).
inline std::string excerpt(const std::string& s, size_t at) {
    const size_t from = at < 24 ? 0 : at - 24;
    std::string shown;
    for (size_t i = from; i < s.size() && i < at + 24; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        shown += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, char(c)) : std::string(hex);
    }
    return "\"" + shown + "\"";
}
template <typename A, typename B>
testing::AssertionResult same_text(const A& got, const B& want) {
    const std::string g(got.begin(), got.end()), w(want.begin(), want.end());
    if (g == w) return testing::AssertionSuccess();
    size_t at = 0;
    while (at < g.size() && at < w.size() && g[at] == w[at]) ++at;
    return testing::AssertionFailure() << "sizes " << g.size() << " and " << w.size() << ", first difference at byte "
                                       << at << ": got " << excerpt(g, at) << ", want " << excerpt(w, at);
}

// The run's status and console streams, byte for byte.
inline void expect_run(const run_result& r, int status, const std::string& out, const std::string& err = "") {
    EXPECT_TRUE(same_text(r.out, out)) << "standard output";
    EXPECT_TRUE(same_text(r.err, err)) << "standard error";
    EXPECT_EQ(r.status, status);
}

inline void write_file(const sandbox& box, const std::string& name, const bytes& data) {
    std::filesystem::create_directories(std::filesystem::path(box.work + "/" + name).parent_path());
    std::ofstream(box.work + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline run_result run_scene(const sandbox& box, const bytes& file,
                            const std::vector<std::string>& args = {"scene.png"}) {
    write_file(box, args[0], file);
    return run_tool(box, args);
}

inline std::set<std::string> file_names(const sandbox& box) {  // in `work`
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(box.work)) names.insert(e.path().filename());
    return names;
}

inline std::string expected_out(const scene_plan& plan, const std::string& summary, size_t stop_after = SIZE_MAX) {
    return progress_text(plan, stop_after) + summary;
}

// What standard error says when a scan stops after 256 cards with markers left.
inline std::string stop_notice(const scene_plan& plan) {
    const uint64_t end = plan.spans[255].second;  // the 256th record's
    return "Stopped after 256 characters at " + std::to_string(end * 100 / plan.file.size()) +
           "%: the rest of the scene was not searched.\r\n";
}

inline uint32_t path_tag(const std::string& argument) {
    return crc32(reinterpret_cast<const uint8_t*>(argument.data()), argument.size());
}
inline std::string card_name(const std::string& stem, uint32_t number, const std::string& argument = "scene.png") {
    char name[64];
    snprintf(name, sizeof name, "%s_%04X_%03u.png", stem.c_str(), path_tag(argument), number);
    return name;
}

// A card file split after its PNG's IEND chunk, the PNG decoded.
struct card {
    bytes rest;  // what follows the PNG; empty without IEND
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // R in the low byte, as in `picture`
};
inline card read_card(const sandbox& box, const std::string& name) {
    const std::string file = read_text(box.work + "/" + name);
    const size_t at = file.find("IEND\xAE\x42\x60\x82");  // the chunk's type and fixed CRC
    card c;
    if (at == std::string::npos) return c;
    c.rest.assign(file.begin() + long(at + 8), file.end());
    int channels = 0;
    uint8_t* px = stbi_load_from_memory(reinterpret_cast<const uint8_t*>(file.data()), int(at + 8), &c.width,
                                        &c.height, &channels, 4);
    const uint32_t* words = reinterpret_cast<const uint32_t*>(px);
    if (px) c.pixels.assign(words, words + size_t(c.width) * size_t(c.height));
    stbi_image_free(px);
    return c;
}
