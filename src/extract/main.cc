// Process entry: the command line goes straight to the driver.
#include "extract/process.h"

int main(int argc, char** argv) { return cardlift_main(argc, argv); }
