// The command rows of a plan (one shell command per run, for GNU parallel,
// several hosts or a Slurm array), the Slurm array script, and the corvanel
// binary they name.
#pragma once

#include <string>
#include <string_view>

// The corvanel binary a plan names: `requested` made absolute, else the one
// built beside this program, else `corvanel` on PATH. Empty when none is found.
std::string commands_find_corvanel(const std::string& requested);

// The command row of a run: out_dir absolute, folder relative to it; hdf5
// passes --hdf5 to corvanel.
std::string commands_row(const std::string& out_dir, const std::string& corvanel,
                         const std::string& folder, bool keep_series, bool hdf5 = false);

// The command row of one boundary-search row (sweep/search.h): runs
// `corvanel-sweep search . ROW` in out_dir, its output in folder/search.log.
std::string commands_search_row(const std::string& out_dir, const std::string& sweep,
                                const std::string& corvanel, const std::string& folder, int row);

// This program's own absolute path, or empty when it cannot be found.
std::string commands_self();

// The Slurm array script for a table of `rows` commands.
std::string commands_slurm_script(const std::string& out_dir, int rows);

// The text in single quotes for a POSIX shell.
std::string commands_shell_quote(std::string_view text);
