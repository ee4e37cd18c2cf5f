// The command line: four subcommands over the conversion driver and the diagnostics.
// Both the executable and the Python module run it through run_cli.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace scrivane {

// Parses `args` (args[0] is the program name as invoked) and runs the subcommand.
// Returns the exit status: 0 success, 1 a failed command, 2 a usage error.
int run_cli(const std::vector<std::string>& args);

// The output stem of an input path: its last normal component without the extension (the part
// before the last "." unless that dot comes first), invalid UTF-8 replaced; "" when the path ends
// in no normal component.
std::string input_stem(const std::string& input);

// Where `convert` extracts the figures of one of `inputs` inputs: --assets itself for one input,
// --assets/stem for several; without --assets none for one input, --out/"{stem}_assets" for
// several.
std::optional<std::filesystem::path> assets_dir_for(size_t inputs, const std::string& stem,
                                                    const std::optional<std::string>& assets,
                                                    const std::optional<std::string>& out);

}  // namespace scrivane
