// Process entry: the command line goes straight to the driver.
#include "cli/process.h"

int main(int argc, char** argv) { return cardlift_main(argc, argv); }
