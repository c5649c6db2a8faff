#!/usr/bin/env bash
# Main job: builds the command-line tool and shows a package made and read back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux -j "$(nproc)"
ls -l build/dist/linux
