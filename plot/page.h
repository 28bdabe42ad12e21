// The HTML page of a run's plots (BASE.plots.html): the run summary's
// answers when the run left one, the pictures and the job's parameters from
// its report. Every text from the run is escaped,
// and the page is well-formed XML as well as HTML.
#pragma once

#include <string>
#include <string_view>

#include "plot/runfiles.h"

// text with &, <, >, " and ' replaced by entities, after cleaning it for XML.
std::string page_escape(std::string_view text);

// A file name as a relative URL: every byte outside A-Z a-z 0-9 - . _ ~ as %XX.
std::string page_url(std::string_view file_name);

// The run summary's verdict, vibration, forces, cutting data, static
// deflections and modes as headings and tables; "" without a summary.
std::string page_summary(const RunFiles& run);

// The parameter tables of the report's lines below the title's rule.
std::string page_parameters(const RunFiles& run);

// The whole page; pictures are referenced by file name, beside the page.
std::string page_html(const RunFiles& run);

// Writes page_html(run) to path. 1, or 0 with *error naming the file.
int page_write(const RunFiles& run, const std::string& path, std::string* error);
