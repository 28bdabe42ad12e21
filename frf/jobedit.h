// Fitted modes into a job file: one direction's modal block replaced in the
// job's text, every other byte kept as it was.
#pragma once

#include <string>
#include <vector>

// One mode as the job file holds it.
struct JobeditMode {
  double mass;           // kg, or lbf s^2/in in an English job
  double damping_ratio;  // -
  double stiffness;      // N/mm, or lbf/in in an English job
  double modal_angle;    // degrees
};

// The mode in the units of a job with units code `units` (0 English, else metric), from SI
// mass (kg) and stiffness (N/m), modal angle 0.
JobeditMode jobedit_job_units(int units, double mass, double damping_ratio, double stiffness);

// The text of a modal block's direction: the count and four lines per mode as the job file
// writes them ("%d", "%lf"; "%.10g" where six decimals would lose more than a part in
// ten thousand), lines joined by eol, without a final line end.
std::string jobedit_block_text(const std::vector<JobeditMode>& modes, const char* eol);

// Replaces, in the job text, the modes of structure (0 spindle-workpiece, 1 tool) in direction
// axis (0 X, 1 Y, 2 Z) by modes (at most 5): the count and the numbers of that direction give way
// to jobedit_block_text; every other byte stays. 1 with *edited, or 0 with *error.
int jobedit_replace(const std::string& job, int structure, int axis,
                    const std::vector<JobeditMode>& modes, std::string* edited, std::string* error);

// Writes the fitted modes into the job file at path (read with jobfile_read first, so that a job
// it would refuse is refused here): the edited text goes to a file beside it, is read back and
// checked (every other item equal, the new modes as written), then replaces the job. The job is
// untouched when anything fails. 1, or 0 with *error.
int jobedit_write_modes(const std::string& path, int structure, int axis,
                        const std::vector<JobeditMode>& modes, std::string* error);
