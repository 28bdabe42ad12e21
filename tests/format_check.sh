#!/bin/bash
# Checks that every tracked C++ source keeps the project's clang-format style
# (.clang-format); clang-format names each file and line that does not, and
# the check fails.
# Usage: tests/format_check.sh CLANG_FORMAT SOURCE_DIR
set -euo pipefail
clang_format=$1
cd "$2"

# Every tracked C++ source of the project.
checked=(app bench cli engine frf materials model plot results sweep tests)

patterns=()
for folder in "${checked[@]}"; do patterns+=("$folder/*.cpp" "$folder/*.h"); done
mapfile -d '' files < <(git ls-files -z -- "${patterns[@]}")
if [ "${#files[@]}" -eq 0 ]; then
  echo "format_check: no tracked sources found under $2 (not a git checkout?)" >&2
  exit 1
fi
"$clang_format" --dry-run --Werror "${files[@]}"
echo "format_check: ${#files[@]} files keep the style"
