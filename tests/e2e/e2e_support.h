// Running the built tool in a throw-away directory and reading what it left.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "scene_builder.h"

// A fresh temporary directory, removed with its contents on destruction. The
// tool runs in `work`; its console streams are captured beside it so that they
// never show up among the files it creates.
struct sandbox {
    std::string root, work;
    sandbox();
    ~sandbox();
    sandbox(const sandbox&) = delete;
    sandbox& operator=(const sandbox&) = delete;
};

struct run_result {
    int status = -1;  // -1 when the tool did not exit normally
    std::string out, err;
};

// Runs CARDLIFT_TOOL when set (e.g. a Windows build under wine), else the
// freshly built binary, through the shell with each argument quoted.
run_result run_tool(const sandbox& box, const std::vector<std::string>& args);
bool tool_overridden();

void write_file(const sandbox& box, const std::string& name, const bytes& data);
bytes read_file(const sandbox& box, const std::string& name);
std::set<std::string> file_names(const sandbox& box);

// A record with the distance from its first byte to its marker.
struct placed_record {
    bytes data;
    uint32_t marker_offset;
};
placed_record sp(const sp_record& r);
placed_record table(const table_record& r);

struct span {
    uint32_t match, end;  // the marker's position, one past the record
};

// png_head(), filler, then each record followed by a gap, so that every
// record's position is known.
struct scene_plan {
    bytes file;
    uint32_t iend;
    std::vector<span> spans;
};
scene_plan plan_scene(const std::vector<placed_record>& records);

// The progress stream of a scan of `size` bytes from `iend` that jumps over
// each span and stops once `stop_after` spans were taken.
std::string progress_text(size_t size, uint32_t iend, const std::vector<span>& spans,
                          size_t stop_after = SIZE_MAX);

std::string card_name(const std::string& prefix_and_sex, uint32_t tag, uint32_t number);
uint32_t path_tag(const std::string& argument);

// A card file split at the end of its PNG, the PNG decoded.
struct card {
    bytes rest;  // what follows the IEND chunk; empty when there is no IEND
    int width = 0, height = 0;
    uint8_t bit_depth = 0, colour_type = 0;
    std::vector<uint32_t> pixels;  // R in the low byte, as in `picture`
};
card read_card(const bytes& file);

constexpr uint32_t plain_female = 0xFFF6BAF3;
constexpr uint32_t plain_male = 0xFFFEC2A8;
