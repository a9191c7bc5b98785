#include "cli/CommandRegistry.h"

int main(int argc, char** argv) { return tessel::cli::RunCommandLine(argc, argv); }
