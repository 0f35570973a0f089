// --mods: what the characters of the scenes named need, gathered over the
// run and printed at its end, for a player to paste to whoever shares the
// scenes. One line per mod, then per plugin of the characters, then per
// plugin of the scenes themselves, tab-separated and escaped like the
// listing (a list's items joined by " | ", a "|" inside one as \x7C):
//
//   mod           GUID  NAME  AUTHOR  WEBSITE  CHARACTERS  CARD | CARD ...
//   plugin        GUID  CHARACTERS  CARD | CARD ...
//   scene plugin  GUID  SCENES  SCENE | SCENE ...
//
// "-" stands for a name, author or website no entry gives. Characters count
// once each: the records a run would write cards for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "run/driver.h"
#include "scene/record_mods.h"

struct requirement {
    mod_info what;  // a plugin's GUID in what.id alone
    std::vector<std::string> users;  // card names, or scene paths
};

// The most distinct mods and plugins gathered; more are not told.
constexpr size_t requirements_max = 65536;

// Requirements in the order first met, and where each stands by its GUID.
struct requirement_list {
    std::vector<requirement> items;
    std::unordered_map<std::string, size_t> index;
};

struct requirements {
    requirement_list mods, plugins, scene_plugins;
};

// The observer of a run with --mods.
void requirements_seen(void* requirements, const card_event& event);
// The scene at `path` names `own` in its own extended data.
void requirements_scene(requirements* r, const char* path, const record_mods& own);
void requirements_print(const requirements* r, FILE* out);
