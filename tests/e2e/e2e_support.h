// Running the built tool in a throw-away directory and reading what it left.
#pragma once

#include <stb/stb_image.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "extract/crc32.h"
#include "scene_builder.h"

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh temporary directory, removed with its contents on destruction. The
// tool runs in `work`; its console streams are captured beside it so that they
// never show up among the files it creates.
struct sandbox {
    std::string root, work;
    sandbox() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cardlift_e2e_XXXXXX").string();
        root = mkdtemp(pattern.data()) ? pattern : "/nonexistent";
        work = root + "/work";
        std::filesystem::create_directory(work);
    }
    ~sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

struct run_result {
    int status = -1;  // -1 when the tool did not exit normally
    std::string out, err;
};

inline bool tool_overridden() { return getenv("CARDLIFT_TOOL") && *getenv("CARDLIFT_TOOL"); }

inline std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The tool's command: CARDLIFT_TOOL when set (e.g. a Windows build under
// wine), else the freshly built binary.
inline std::string tool_command() {
    return tool_overridden() ? std::string(getenv("CARDLIFT_TOOL")) : quoted(CARDLIFT_TOOL_PATH);
}

// Runs a shell command that starts the tool, its console streams captured.
inline run_result run_shell(const sandbox& box, std::string command) {
    command += " </dev/null >" + quoted(box.root + "/stdout") + " 2>" + quoted(box.root + "/stderr");
    run_result r;
    const int raw = system(command.c_str());
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.out = read_text(box.root + "/stdout");
    r.err = read_text(box.root + "/stderr");
    return r;
}

// Runs the tool in the work directory, with each argument quoted.
inline run_result run_tool(const sandbox& box, const std::vector<std::string>& args) {
    std::string command = "cd " + quoted(box.work) + " && " + tool_command();
    for (const std::string& arg : args) command += " " + quoted(arg);
    return run_shell(box, command);
}

// Writes `data` as `name` in the work directory, making its folders.
inline void write_file(const sandbox& box, const std::string& name, const bytes& data) {
    std::filesystem::create_directories(std::filesystem::path(box.work + "/" + name).parent_path());
    std::ofstream(box.work + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// Writes `file` under the name args[0], then runs the tool with `args`.
inline run_result run_scene(const sandbox& box, const bytes& file,
                            const std::vector<std::string>& args = {"scene.png"}) {
    write_file(box, args[0], file);
    return run_tool(box, args);
}

inline std::set<std::string> file_names(const sandbox& box) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(box.work)) names.insert(e.path().filename());
    return names;
}

// A record with the distance from its first byte to its marker.
struct placed_record {
    bytes data;
    uint32_t marker_offset;
};
inline placed_record table(const table_record& r) { return {build_table_record(r), 1}; }
// A string-and-picture record of `row` whose final section holds "sex" then
// `sex_byte` (1: female).
inline placed_record character(int row, uint8_t sex_byte, const bytes& face = {},
                               const std::string& text = "1.0.0") {
    sp_record r;
    r.row = row;
    (row == row_rg ? r.picture2 : r.picture1) = face;
    r.text = text;
    r.final_section = final_with_sex(sex_byte);
    return {build_sp_record(r), 5};
}

// png_head(), 40 filler bytes (alone enough for a scene), then each record
// followed by 16 more, with every record's marker position and end.
struct span {
    uint32_t match, end;
};
struct scene_plan {
    bytes file;
    uint32_t iend;  // position of the IEND chunk
    std::vector<span> spans;
};
inline scene_plan plan_scene(const std::vector<placed_record>& records) {
    scene_plan plan{png_head(), uint32_t(png_head().size() - 12), {}};
    put_bytes(plan.file, bytes(40, '.'));
    for (const placed_record& r : records) {
        const uint32_t start = uint32_t(plan.file.size());
        plan.spans.push_back({start + r.marker_offset, start + uint32_t(r.data.size())});
        put_bytes(plan.file, r.data);
        put_bytes(plan.file, bytes(16, '.'));
    }
    return plan;
}

// The progress stream of a scan of `size` bytes: one "\r%2u%%" a position from
// `iend` on, jumping over each span and stopping once `stop_after` were taken.
inline std::string progress_text(uint64_t size, uint64_t iend, const std::vector<span>& spans,
                                 size_t stop_after = SIZE_MAX) {
    std::string text;
    size_t next = 0;
    for (uint64_t p = iend; p < size && next < stop_after;) {
        char line[16];
        snprintf(line, sizeof line, "\r%2u%%", unsigned(p * 100 / size));
        text += line;
        p = next < spans.size() && spans[next].match == p ? spans[next++].end : p + 1;
    }
    return text;
}
// The whole standard output of a run over `plan`.
inline std::string expected_out(const scene_plan& plan, const std::string& summary,
                                size_t stop_after = SIZE_MAX) {
    return progress_text(plan.file.size(), plan.iend, plan.spans, stop_after) + summary;
}

inline uint32_t path_tag(const std::string& argument) {
    return crc32(reinterpret_cast<const uint8_t*>(argument.data()), argument.size());
}
inline std::string card_name(const std::string& prefix_and_sex, uint32_t number,
                             const std::string& argument = "scene.png") {
    char name[64];
    snprintf(name, sizeof name, "%s_%04X_%03u.png", prefix_and_sex.c_str(), path_tag(argument), number);
    return name;
}

// A card file split after its PNG's IEND chunk, the PNG decoded.
struct card {
    bytes rest;  // what follows the PNG; empty when there is no IEND
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
    uint8_t* px = stbi_load_from_memory(reinterpret_cast<const uint8_t*>(file.data()), int(at + 8),
                                        &c.width, &c.height, &channels, 4);
    const uint32_t* words = reinterpret_cast<const uint32_t*>(px);
    if (px) c.pixels.assign(words, words + size_t(c.width) * size_t(c.height));
    stbi_image_free(px);
    return c;
}

constexpr uint32_t plain_female = 0xFFF6BAF3;  // R 243, G 186, B 246, A 255
constexpr uint32_t plain_male = 0xFFFEC2A8;    // R 168, G 194, B 254, A 255
