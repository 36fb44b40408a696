#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program and opens its window.
# (On a machine without a display the program says so and names snipwave-cli instead.)
# Only the two programs are built, in the tree the test command uses too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/trees.sh
scripts/build.sh build "${main_tree[@]}" -- snipwave snipwave-cli
exec build/app/snipwave "$@"
