#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GUI tests run offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
dev/deps.sh
dev/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --preset default
