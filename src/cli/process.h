// The process: the options, then each scene named in turn (see options.h).
#pragma once

// Returns the exit status.
int cardlift_main(int argc, char** argv);
