// The HTML parameter summary of a batch job (".html").
#pragma once

#include <cstdio>
#include <string_view>

#include "model/params.h"

// Room for a job text field with every character escaped ("&quot;" is the longest).
inline constexpr int kHtmlEscapedTextSize = (kParamsTextSize - 1) * 6 + 1;

// Writes text into buf (size bytes) with &, <, > and " replaced by their
// entities, terminated. 1 when all of it fit; 0 when it was cut short, after
// the last character or entity that fit whole.
int html_escape(std::string_view text, char* buf, int size);

// Writes the page to path; 1 when written and closed cleanly, 0 otherwise.
int html_write_summary(const SimParams* params, const char* path);

// The lines of each of the first count modes of a list.
void html_write_modes(FILE* out, const ModalMode* modes, int units, int count);

// "<P>\n"
void html_paragraph(FILE* out);

// "<H%d>%s</H%d>\n" with the text as given.
void html_heading(FILE* out, const char* text, int level);

// "<HR>\n"
void html_rule(FILE* out);

// "<HR size=5>\n"
void html_thick_rule(FILE* out);
