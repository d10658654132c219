#!/usr/bin/env bash
# Installs what is missing, builds, and starts Sequanel.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
exec "${BUILD_DIR:-build}/bin/sequanel"
