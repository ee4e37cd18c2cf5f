// The command line: four subcommands over the conversion driver and the diagnostics.
// Both the executable and the Python module run it through run_cli.
#pragma once

#include <string>
#include <vector>

namespace scrivane {

// Parses `args` (args[0] is the program name as invoked) and runs the subcommand.
// Returns the exit status: 0 success, 1 a failed command, 2 a usage error.
int run_cli(const std::vector<std::string>& args);

}  // namespace scrivane
