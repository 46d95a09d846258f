#!/usr/bin/env bash
# Fails when clang-format (with the repository's .clang-format) would change a tracked C++ file,
# and names the files it would change.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${files[@]}" 2>/dev/null; then
    echo "check_format: clang-format would change these files (run clang-format -i on them):" >&2
    for f in "${files[@]}"; do
        clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "  $f" >&2
    done
    exit 1
fi
echo "check_format: every tracked C++ file is as clang-format leaves it"
