#include "cli/requirements.h"

#include <new>

#include "platform/file.h"
#include "run/report.h"

namespace {

// The entry of `what` in `list`, made when it is new; null once the list is full.
requirement* entry_for(requirement_list& list, const mod_info& what) {
    const auto known = list.index.find(what.id);
    if (known != list.index.end()) return &list.items[known->second];
    if (list.items.size() == requirements_max) return nullptr;
    list.index.emplace(what.id, list.items.size());
    list.items.push_back(requirement{what, {}});
    return &list.items.back();
}

void add(requirement_list& list, const mod_info& what, const char* user) {
    try {
        if (requirement* r = entry_for(list, what)) r->users.emplace_back(user);
    } catch (const std::bad_alloc&) {
        // What could not be noted is not told; the cards are not at stake.
    }
}

std::string field(const std::string& text) { return text.empty() ? "-" : escaped_field(text.c_str()); }

// The users as one field: each escaped, "|" too, joined by " | ".
std::string users_field(const std::vector<std::string>& users) {
    std::string out;
    for (const std::string& user : users) {
        if (!out.empty()) out += " | ";
        for (char c : escaped_field(user.c_str())) {
            if (c == '|') out += "\\x7C";
            else out += c;
        }
    }
    return out;
}

}  // namespace

void requirements_seen(void* context, const card_event& event) {
    if (event.result != card_result::listed || !event.mods) return;
    requirements* r = static_cast<requirements*>(context);
    for (const mod_info& mod : event.mods->mods) add(r->mods, mod, event.name);
    for (const std::string& guid : event.mods->plugins) add(r->plugins, mod_info{guid, "", "", ""}, event.name);
}

void requirements_scene(requirements* r, const char* path, const record_mods& own) {
    for (const std::string& guid : own.plugins) add(r->scene_plugins, mod_info{guid, "", "", ""}, path);
}

void requirements_print(const requirements* r, FILE* out) {
    for (const requirement& m : r->mods.items) {
        const std::string line = "mod\t" + field(m.what.id) + '\t' + field(m.what.name) + '\t' + field(m.what.author) +
                                 '\t' + field(m.what.website) + '\t' + std::to_string(m.users.size()) + '\t' +
                                 users_field(m.users) + text_line_end;
        text_puts(line.c_str(), out);
    }
    for (const requirement& p : r->plugins.items) {
        const std::string line = "plugin\t" + field(p.what.id) + '\t' + std::to_string(p.users.size()) + '\t' +
                                 users_field(p.users) + text_line_end;
        text_puts(line.c_str(), out);
    }
    for (const requirement& p : r->scene_plugins.items) {
        const std::string line = "scene plugin\t" + field(p.what.id) + '\t' + std::to_string(p.users.size()) + '\t' +
                                 users_field(p.users) + text_line_end;
        text_puts(line.c_str(), out);
    }
}
