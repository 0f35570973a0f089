// The tool's one option, read off the front of the command line, and the
// environment variable that sets how many threads draw the cards.
#pragma once

#include <cstdint>

#include "extract/marker_table.h"

// The text that, standing first, takes on the marker rows of later games.
constexpr char newer_games_option[] = "--newer-games";

// Returns the marker rows the run looks for. When argv[1] is exactly the
// option, it is taken off the front (argc and argv move on by one, so argv[1]
// names the scene as it would without the option) and the later games' rows
// are looked for too. Otherwise the arguments are left as they are and only
// the standard rows are: any other first argument, an option-like one too, is
// the scene's path.
marker_set take_marker_option(int* argc, char*** argv);

// Names the number of threads that draw card pictures: 0 draws them on the
// scanning thread, 1 to max_workers start that many. Meant for measuring and
// testing; the output is the same for every number.
constexpr char workers_variable[] = "CARDLIFT_WORKERS";

// The number `value` (the variable's text, null when unset) asks for: plain
// decimal digits, numbers above `most` counting as `most`. Anything else,
// empty text included, gives `fallback`.
uint32_t worker_count_from(const char* value, uint32_t most, uint32_t fallback);
