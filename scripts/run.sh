#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ -x build/app/quillvane ]; then
    exec build/app/quillvane "$@"
fi
echo "Built the storage and platform libraries, tests and benchmarks."
echo "The program itself (its windows) does not exist yet; nothing to start."
