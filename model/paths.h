// Composition of result and job file names in the system's 100-byte buffers.
#pragma once

inline constexpr int kPathSize = 100;  // composed names: 99 characters + terminator

// Writes `first` followed by `second` into buf (kPathSize bytes). Returns 1,
// or 0 with buf emptied when the name would not fit in 99 characters.
int path_join(char* buf, const char* first, const char* second);

// Writes "dir/job.in"-style names: first, "/", second, suffix. Same result rule.
int path_join_dir(char* buf, const char* dir, const char* name, const char* suffix);
