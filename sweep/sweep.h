// Command line of corvanel-sweep: plan, run and collect a stability map.
#pragma once

// Process entry; returns the exit code (2 for a usage error).
int sweep_main(int argc, char** argv);
