#include "e2e_support.h"

#include <stb/stb_image.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "extract/crc32.h"

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

sandbox::sandbox() {
    std::string pattern = (fs::temp_directory_path() / "cardlift_e2e_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        root = pattern;
        work = root + "/work";
        fs::create_directory(work);
    }
}

sandbox::~sandbox() {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
}

bool tool_overridden() {
    const char* tool = getenv("CARDLIFT_TOOL");
    return tool != nullptr && *tool != '\0';
}

run_result run_tool(const sandbox& box, const std::vector<std::string>& args) {
    std::string command = "cd " + quoted(box.work) + " && ";
    command += tool_overridden() ? std::string(getenv("CARDLIFT_TOOL")) : quoted(CARDLIFT_TOOL_PATH);
    for (const std::string& arg : args) command += " " + quoted(arg);
    command += " </dev/null >" + quoted(box.root + "/stdout") + " 2>" + quoted(box.root + "/stderr");

    run_result r;
    int raw = system(command.c_str());
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.out = slurp(box.root + "/stdout");
    r.err = slurp(box.root + "/stderr");
    return r;
}

void write_file(const sandbox& box, const std::string& name, const bytes& data) {
    std::ofstream out(box.work + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

bytes read_file(const sandbox& box, const std::string& name) {
    std::string text = slurp(box.work + "/" + name);
    return bytes(text.begin(), text.end());
}

std::set<std::string> file_names(const sandbox& box) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const fs::directory_entry& e : fs::directory_iterator(box.work, ignored)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

placed_record sp(const sp_record& r) { return {build_sp_record(r), 5}; }
placed_record table(const table_record& r) { return {build_table_record(r), 1}; }

scene_plan plan_scene(const std::vector<placed_record>& records) {
    const size_t lead = 40;  // alone enough for the file to count as a scene
    const size_t gap = 16;
    bytes trailing(lead, '.');
    scene_plan plan;
    plan.iend = static_cast<uint32_t>(png_head().size() - 12);
    uint32_t base = plan.iend + 12;
    for (const placed_record& r : records) {
        uint32_t start = base + static_cast<uint32_t>(trailing.size());
        plan.spans.push_back({start + r.marker_offset, start + static_cast<uint32_t>(r.data.size())});
        put_bytes(trailing, r.data);
        trailing.insert(trailing.end(), gap, '.');
    }
    plan.file = build_scene(trailing);
    return plan;
}

std::string progress_text(size_t size, uint32_t iend, const std::vector<span>& spans,
                          size_t stop_after) {
    std::string text;
    size_t next = 0;
    uint32_t p = iend;
    while (p < size && next < stop_after) {
        char line[16];
        snprintf(line, sizeof line, "\r%2u%%", static_cast<unsigned>(uint64_t{p} * 100 / uint64_t{size}));
        text += line;
        if (next < spans.size() && spans[next].match == p) {
            p = spans[next].end;
            ++next;
        } else {
            ++p;
        }
    }
    return text;
}

std::string card_name(const std::string& prefix_and_sex, uint32_t tag, uint32_t number) {
    char name[64];
    snprintf(name, sizeof name, "%s_%04X_%03u.png", prefix_and_sex.c_str(), tag, number);
    return name;
}

uint32_t path_tag(const std::string& argument) {
    return crc32(reinterpret_cast<const uint8_t*>(argument.data()), argument.size());
}

card read_card(const bytes& file) {
    card c;
    bool png_found = false;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        uint32_t length = uint32_t{file[pos]} << 24 | uint32_t{file[pos + 1]} << 16 |
                          uint32_t{file[pos + 2]} << 8 | file[pos + 3];
        if (memcmp(&file[pos + 4], "IEND", 4) == 0) {
            png_found = true;
            c.rest.assign(file.begin() + static_cast<ptrdiff_t>(pos + 12), file.end());
            break;
        }
        pos += 12 + size_t{length};
    }
    if (!png_found || file.size() < 26) return c;
    c.bit_depth = file[24];
    c.colour_type = file[25];
    int channels = 0;
    stbi_uc* px = stbi_load_from_memory(file.data(), static_cast<int>(pos + 12), &c.width,
                                        &c.height, &channels, 4);
    if (px != nullptr) {
        c.pixels.resize(size_t(c.width) * size_t(c.height));
        memcpy(c.pixels.data(), px, c.pixels.size() * 4);
        stbi_image_free(px);
    }
    return c;
}
