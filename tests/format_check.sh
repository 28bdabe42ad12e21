#!/bin/bash
# Checks that the tracked C++ sources of the folders listed below keep the
# project's clang-format style (.clang-format); clang-format names each file
# and line that does not, and the check fails.
# Usage: tests/format_check.sh CLANG_FORMAT SOURCE_DIR
set -euo pipefail
clang_format=$1
cd "$2"

# Folders whose sources are formatted. A folder joins the list in the commit
# that formats it (clang-format -i on its files).
checked=(bench tests/e2e tests/frf tests/fuzz tests/model tests/results
         tests/robustness tests/support)

patterns=()
for folder in "${checked[@]}"; do patterns+=("$folder/*.cpp" "$folder/*.h"); done
mapfile -d '' files < <(git ls-files -z -- "${patterns[@]}")
if [ "${#files[@]}" -eq 0 ]; then
  echo "format_check: no tracked sources found under $2 (not a git checkout?)" >&2
  exit 1
fi
"$clang_format" --dry-run --Werror "${files[@]}"
echo "format_check: ${#files[@]} files keep the style"
