// Talking to gnuplot: its string literals, and one run of it per picture.
// gnuplot gets its script on standard input and is started without a shell,
// so no text of a job ever reaches a command line.
#pragma once

#include <string>
#include <string_view>

// text as a gnuplot single-quoted string: cleaned for XML, quotes doubled.
// Inside single quotes gnuplot expands no backslash escapes.
std::string gnuplot_quote(std::string_view text);

// A file path as a gnuplot string that names the plain file: a relative path
// gains "./" so that it can never start with '<' (a pipe from a command),
// '|', '-' or '+' (special files), '$' (a data block) or '~'.
std::string gnuplot_path(const std::string& path);

// 1 when an executable "gnuplot" is on PATH; 0 with *error saying to install it.
int gnuplot_find(std::string* error);

// Runs gnuplot on script and stores what it writes to standard output at
// svg_path, through a temporary file beside it that replaces svg_path only
// when gnuplot succeeded. 1, or 0 with *error (gnuplot's last error line).
int gnuplot_render(const std::string& script, const std::string& svg_path, std::string* error);
