#!/usr/bin/env bash
# The short fuzz runs of the tests: every fuzz target for a short while (25 s each unless
# SCUP_FUZZ_SHORT_SECONDS says otherwise), from its seed corpus alone. Fails when any run finds a
# crash, hang, leak or sanitizer report; a run that finds nothing passes, however far it got.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${SCUP_FUZZ_BUILD_DIR:-$root/build/fuzz}/short
rm -rf "$work"
SCUP_FUZZ_WORK_DIR=$work bash "$root/scripts/fuzz.sh" all "${SCUP_FUZZ_SHORT_SECONDS:-25}"
