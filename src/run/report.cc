#include "run/report.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "platform/file.h"

namespace {

using json = nlohmann::ordered_json;

const char* result_text(card_result result) {
    switch (result) {
    case card_result::written: return "written";
    case card_result::listed: return "listed";
    case card_result::duplicate: return "duplicate";
    case card_result::failed: return "failed";
    case card_result::left: return "not written";
    case card_result::later_game: return "later game";
    }
    return "";
}

void put_hex(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += '\\';
    out += 'x';
    out += hex[c >> 4];
    out += hex[c & 15];
}

// The JSON text of `value`: bytes that are no UTF-8 become U+FFFD, so that
// a name or path of any bytes never stops the document.
std::string text_of(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Writes a piece of the document, its line ends as the platform's text files
// end theirs. A raw line feed can only be the document's own: the library
// escapes every one inside a string.
void put(json_report* r, const std::string& text) {
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1) {
        text_write(r->out, text.data() + from, at - from);
        text_puts(text_line_end, r->out);
    }
    text_write(r->out, text.data() + from, text.size() - from);
}

json totals_object(const scan_totals* t, bool list, uint32_t records) {
    return json{
        {"records", records},
        {"written", t && !list ? t->written : 0},
        {"listed", t && list ? t->written : 0},
        {"duplicates", t ? t->duplicates : 0},
        {"failed", t ? t->unwritten : 0},
        {"not_written", t ? t->left : 0},
        {"later_games", t ? t->later_games : 0},
        {"stopped_after_256", t ? t->stopped_early : false},
        {"cut_short", t ? t->cut : false},
        {"out_of_memory", t ? t->out_of_memory : false},
    };
}

void open_scene(json_report* r, const char* path, const char* outcome, const char* reason) {
    put(r, r->totals.scenes == 0 ? "\n" : ",\n");
    ++r->totals.scenes;
    put(r, "    {\"path\": " + text_of(path) + ", \"outcome\": " + text_of(outcome) +
               ", \"reason\": " + text_of(reason ? json(reason) : json(nullptr)) + ", \"records\": [");
}

// Where a card of this name is (or would be) stored, as the user named the folder.
std::string card_path(const char* folder, const char* name) {
    if (!folder) return name;
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != path_separator[0]) path += path_separator;
    return path + name;
}

}  // namespace

namespace {

// Whether `text` stands as it is: printable ASCII but the backslash. Most
// fields are, and are passed on without a look at each character.
bool plain_ascii(const char* text) {
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text); *s; ++s)
        if (*s < 0x20 || *s >= 0x7F || *s == '\\') return false;
    return true;
}

}  // namespace

std::string escaped_field(const char* text) {
    if (plain_ascii(text)) return text;
    std::string out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = s + std::strlen(text);
    while (*s) {
        const unsigned char c = *s;
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20 || c == 0x7F) put_hex(out, c);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            ++s;
            continue;
        }
        const size_t n = utf8_char_length(s, size_t(end - s));
        if (n == 0 || (n == 2 && c == 0xC2 && s[1] < 0xA0)) {
            // No UTF-8, or a C1 control (U+0080 to U+009F): byte by byte.
            const size_t bytes = n == 0 ? 1 : 2;
            for (size_t i = 0; i < bytes; ++i) put_hex(out, s[i]);
            s += bytes;
            continue;
        }
        out.append(reinterpret_cast<const char*>(s), n);
        s += n;
    }
    return out;
}

void listing_seen(void* context, const card_event& event) {
    const listing* l = static_cast<listing*>(context);
    const bool card = event.result == card_result::listed || event.result == card_result::written ||
                      event.result == card_result::failed;
    std::string note = "-";
    if (event.result == card_result::duplicate) note = std::string("duplicate of ") + event.name;
    if (event.result == card_result::later_game) note = "later game: needs --newer-games";
    const size_t mods = event.mods ? event.mods->mods.size() : 0;
    const std::string line = escaped_field(l->scene) + '\t' + (card ? escaped_field(event.name) : "-") + '\t' +
                             escaped_field(event.row->prefix) + '\t' + char(event.rec->sex) + '\t' +
                             escaped_field(event.display_name) + '\t' + escaped_field(note.c_str()) + '\t' +
                             std::to_string(mods) + text_line_end;
    text_puts(line.c_str(), l->out);
}

namespace {

// `text` as a JSON string, taking no memory: quote, backslash and control
// characters escaped, bytes that are no UTF-8 as U+FFFD.
void put_json_string(FILE* out, const char* text) {
    text_putc('"', out);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = s + std::strlen(text);
    while (*s) {
        if (*s == '"' || *s == '\\') {
            text_putc('\\', out);
            text_putc(*s++, out);
        } else if (*s < 0x20 || *s == 0x7F) {
            text_printf(out, "\\u%04X", unsigned(*s++));
        } else {
            const size_t n = utf8_char_length(s, size_t(end - s));
            if (n == 0) text_puts("\\uFFFD", out);
            else text_write(out, reinterpret_cast<const char*>(s), n);
            s += n ? n : 1;
        }
    }
    text_putc('"', out);
}

const char* boolean(bool value) { return value ? "true" : "false"; }

}  // namespace

void json_report_no_memory(FILE* out, const json_run_head& head) {
    text_printf(out, "{%s  \"program\": \"cardlift\",%s  \"version\": ", text_line_end, text_line_end);
    put_json_string(out, head.version);
    text_printf(out, ",%s  \"options\": {\"newer_games\":%s,\"list\":%s,\"names\":%s,\"quiet\":%s,\"output\":",
                 text_line_end, boolean(head.newer_games), boolean(head.list), boolean(head.names), boolean(head.quiet));
    if (head.output) put_json_string(out, head.output);
    else text_puts("null", out);
    text_printf(out, ",\"recursive\":%s},%s  \"output_folder\": ", boolean(head.recursive), text_line_end);
    put_json_string(out, head.output ? head.output : ".");
    text_printf(out,
                 ",%s  \"scenes\": [],%s  \"totals\": {\"scenes\":0,\"scanned\":0,\"refused\":0,\"records\":0,"
                 "\"written\":0,\"listed\":0,\"duplicates\":0,\"failed\":0,\"not_written\":0,\"later_games\":0},"
                 "%s  \"error\": \"not enough memory to start the run\",%s  \"exit_status\": 1%s}%s",
                 text_line_end, text_line_end, text_line_end, text_line_end, text_line_end, text_line_end);
}

void json_report_start(json_report* r, FILE* out, const json_run_head& head) {
    *r = json_report{};
    r->out = out;
    r->folder = head.output;
    r->list = head.list;
    const json options = {
        {"newer_games", head.newer_games}, {"list", head.list},   {"names", head.names},
        {"quiet", head.quiet},             {"output", head.output ? json(head.output) : json(nullptr)},
        {"recursive", head.recursive},
    };
    put(r, "{\n  \"program\": \"cardlift\",\n  \"version\": " + text_of(head.version) +
               ",\n  \"options\": " + text_of(options) + ",\n  \"output_folder\": " +
               text_of(head.output ? head.output : ".") + ",\n  \"scenes\": [");
}

namespace {

json text_or_null(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json mod_object(const mod_info& mod) {
    return json{{"id", mod.id},
                {"name", text_or_null(mod.name)},
                {"author", text_or_null(mod.author)},
                {"website", text_or_null(mod.website)}};
}

json plugins_array(const record_mods* mods) {
    json list = json::array();
    if (mods)
        for (const std::string& guid : mods->plugins) list.push_back(guid);
    return list;
}

json mods_array(const record_mods* mods) {
    json list = json::array();
    if (mods)
        for (const mod_info& mod : mods->mods) list.push_back(mod_object(mod));
    return list;
}

// Notes the mods of the open scene's record `index` in the scene's union.
void add_scene_mods(json_report* r, const record_mods& mods, uint32_t index) {
    for (const mod_info& mod : mods.mods) {
        auto known = r->scene_mod_index.find(mod.id);
        if (known == r->scene_mod_index.end()) {
            if (r->scene_mods.size() == scene_mods_max) continue;
            known = r->scene_mod_index.emplace(mod.id, r->scene_mods.size()).first;
            r->scene_mods.push_back(scene_mod{mod, {}});
        }
        r->scene_mods[known->second].records.push_back(index);
    }
}

}  // namespace

void json_report_scene(json_report* r, const char* path) {
    open_scene(r, path, "scanned", nullptr);
    r->scene_open = true;
    r->scene_records = 0;
    ++r->totals.scanned;
}

void json_report_seen(void* context, const card_event& event) {
    json_report* r = static_cast<json_report*>(context);
    const bool card = event.result == card_result::listed || event.result == card_result::written ||
                      event.result == card_result::failed;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(event.crc));
    const json nothing = nullptr;
    const json record = {
        {"index", r->scene_records + 1},
        {"card_number", card ? json(event.card_number) : nothing},
        {"card", card ? json(event.name) : nothing},
        {"card_path", card ? json(card_path(r->folder, event.name)) : nothing},
        {"result", result_text(event.result)},
        {"reason", event.result == card_result::failed ? json(event.reason) : nothing},
        {"duplicate_of", event.result == card_result::duplicate ? json(event.name) : nothing},
        {"marker", event.row->marker},
        {"prefix", event.row->prefix},
        {"sex", std::string(1, char(event.rec->sex))},
        {"name", event.display_name},
        {"nickname", event.nickname},
        {"offset", event.rec->first},
        {"length", event.rec->end - event.rec->first},
        {"crc32", crc},
        {"face", event.face_width > 0 ? json{{"width", event.face_width}, {"height", event.face_height}} : nothing},
        {"plugins", plugins_array(event.mods)},
        {"mods", mods_array(event.mods)},
        {"mods_note", event.mods && event.mods->note ? json(event.mods->note) : nothing},
    };
    if (event.mods) add_scene_mods(r, *event.mods, r->scene_records + 1);
    put(r, (r->scene_records == 0 ? "\n      " : ",\n      ") + text_of(record));
    ++r->scene_records;
    ++r->totals.records;
}

void json_report_scanned(json_report* r, const scan_totals& t, const record_mods& scene_own) {
    json needed = json::array();
    for (const scene_mod& m : r->scene_mods) {
        json mod = mod_object(m.mod);
        mod["records"] = m.records;
        needed.push_back(std::move(mod));
    }
    r->scene_mods.clear();
    r->scene_mod_index.clear();
    put(r, (r->scene_records == 0 ? "]" : "\n    ]") + std::string(",\n     \"plugins\": ") +
               text_of(plugins_array(&scene_own)) + ", \"plugins_note\": " +
               text_of(scene_own.note ? json(scene_own.note) : json(nullptr)) + ",\n     \"mods\": " +
               text_of(needed) + ",\n     \"totals\": " + text_of(totals_object(&t, r->list, r->scene_records)) +
               "}");
    r->scene_open = false;
    json_run_totals& all = r->totals;
    (r->list ? all.listed : all.written) += t.written;
    all.duplicates += t.duplicates;
    all.failed += t.unwritten;
    all.not_written += t.left;
    all.later_games += t.later_games;
}

void json_report_refused(json_report* r, const char* path, const char* outcome, const char* reason) {
    open_scene(r, path, outcome, reason);
    put(r, "], \"plugins\": [], \"plugins_note\": null, \"mods\": [], \"totals\": " +
               text_of(totals_object(nullptr, r->list, 0)) + "}");
    ++r->totals.refused;
}

void json_report_finish(json_report* r, const char* error, int exit_status) {
    const json_run_totals& t = r->totals;
    const json totals = {
        {"scenes", t.scenes},
        {"scanned", t.scanned},
        {"refused", t.refused},
        {"records", t.records},
        {"written", t.written},
        {"listed", t.listed},
        {"duplicates", t.duplicates},
        {"failed", t.failed},
        {"not_written", t.not_written},
        {"later_games", t.later_games},
    };
    put(r, std::string(t.scenes == 0 ? "]" : "\n  ]") + ",\n  \"totals\": " + text_of(totals) +
               ",\n  \"error\": " + text_of(error ? json(error) : json(nullptr)) +
               ",\n  \"exit_status\": " + std::to_string(exit_status) + "\n}\n");
}
