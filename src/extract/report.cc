#include "extract/report.h"

#include <nlohmann/json.hpp>

#include "platform/file.h"

namespace {

const char* result_text(card_result result) {
    switch (result) {
    case card_result::written: return "written";
    case card_result::listed: return "listed";
    case card_result::duplicate: return "duplicate";
    case card_result::failed: return "failed";
    case card_result::left: return "not written";
    }
    return "";
}

}  // namespace

void listing_seen(void* context, const card_event& event) {
    FILE* out = static_cast<listing*>(context)->out;
    const bool repeat = event.result == card_result::duplicate;
    std::fprintf(out, "%s\t%s\t%c\t%s", repeat ? "-" : event.name, event.row->prefix, event.rec->sex,
                 event.display_name);
    if (repeat) std::fprintf(out, "\tduplicate of %s", event.name);
    std::fputs(text_line_end, out);
}

struct json_report {
    nlohmann::ordered_json scenes = nlohmann::ordered_json::array();
};

json_report* json_report_new() { return new json_report; }
void json_report_free(json_report* report) { delete report; }

void json_report_scene(json_report* report, const char* path) {
    report->scenes.push_back({{"path", path}, {"outcome", "scanned"}, {"records", nlohmann::ordered_json::array()}});
}

void json_report_seen(void* context, const card_event& event) {
    nlohmann::ordered_json& records = static_cast<json_report*>(context)->scenes.back()["records"];
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(event.crc));
    nlohmann::ordered_json record = {
        {"number", records.size() + 1},
        {"card", event.result == card_result::duplicate || event.result == card_result::left
                     ? nlohmann::ordered_json(nullptr)
                     : nlohmann::ordered_json(event.name)},
        {"result", result_text(event.result)},
        {"marker", event.row->marker},
        {"prefix", event.row->prefix},
        {"sex", std::string(1, event.rec->sex)},
        {"name", event.display_name},
        {"nickname", event.nickname},
        {"offset", event.rec->first},
        {"length", event.rec->end - event.rec->first},
        {"crc32", crc},
    };
    if (event.result == card_result::duplicate) record["duplicate_of"] = event.name;
    if (event.result == card_result::failed) record["reason"] = event.reason;
    if (event.face_width > 0) record["face"] = {{"width", event.face_width}, {"height", event.face_height}};
    records.push_back(std::move(record));
}

void json_report_scanned(json_report* report, const scan_totals& totals) {
    nlohmann::ordered_json& scene = report->scenes.back();
    scene["written"] = totals.written;
    scene["duplicates"] = totals.duplicates;
    scene["failed"] = totals.unwritten;
    scene["not_written"] = totals.left;
    scene["later_games"] = totals.later_games;
    scene["stopped_after_256"] = totals.stopped_early;
    scene["cut_short"] = totals.cut;
}

void json_report_refused(json_report* report, const char* path, const char* outcome, const char* reason) {
    report->scenes.push_back({{"path", path}, {"outcome", outcome}, {"reason", reason}});
}

void json_report_print(const json_report* report, FILE* out) {
    const nlohmann::ordered_json document = {{"scenes", report->scenes}};
    // Names and paths that are no valid UTF-8 get U+FFFD; control characters
    // are escaped by the library.
    const std::string text = document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fputs(text.c_str(), out);
    std::fputs(text_line_end, out);
}
