#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" "$@"
