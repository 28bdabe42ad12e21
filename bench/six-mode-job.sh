# The benchmarks' six-mode job, sourced by the bench scripts: the example's
# cut (examples/demo.in) with three modes in each structure, X, Y and Z.
#   six_mode_job REVOLUTIONS SKIPPED INCREMENTS > six.in
# Run from the repository's top folder.
six_mode_job() {
  sed -n '1,15p' examples/demo.in
  printf '1\n8.0\n0.04\n60000\n20\n1\n8.0\n0.04\n70000\n10\n1\n10.0\n0.05\n90000\n5\n'
  printf '1\n0.5\n0.03\n30000\n30\n1\n0.5\n0.03\n40000\n15\n1\n0.6\n0.04\n50000\n10\n'
  printf '%d\n%d\n%d\n' "$1" "$2" "$3"
}
