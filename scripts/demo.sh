#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: a sample project with its pictures and
# files in out/demo (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
./build/bin/sitebase demo "${1:-out/demo}"
