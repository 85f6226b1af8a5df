#!/usr/bin/env bash
# Checks that the C++ sources follow .clang-format; with --fix, formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find base engine model files audio app plugin tools tests \( -name '*.cpp' -o -name '*.h' \) ! -name precise_math_tables.h | sort)
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
else
    clang-format --dry-run --Werror "${files[@]}"
fi
