// The tool's one option, read off the front of the command line.
#pragma once

#include <cstdint>

// The text that, standing first, takes on the marker rows of later games.
constexpr char newer_games_option[] = "--newer-games";

// Returns how many marker table rows the run uses. When argv[1] is exactly the
// option, it is taken off the front (argc and argv move on by one, so argv[1]
// names the scene as it would without the option) and every row is used.
// Otherwise the arguments are left as they are and only the default rows are:
// any other first argument, an option-like one too, is the scene's path.
uint32_t take_marker_option(int* argc, char*** argv);
