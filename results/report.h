// The text report of a job (".rpt").
#pragma once

#include <cstdio>

#include "model/params.h"

// Writes the report to path; 1 when written and closed cleanly, 0 otherwise.
int report_write(const SimParams* params, const char* path);

// The four lines of each of the first count modes of a list.
void report_write_modes(FILE* out, const ModalMode* modes, int units, int count);
