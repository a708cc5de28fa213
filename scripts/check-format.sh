#!/usr/bin/env bash
# Every C and C++ file of the repository as clang-format (with the root .clang-format)
# would write it. Prints the files that differ and fails; changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' |
  xargs clang-format --dry-run -Werror
