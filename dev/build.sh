#!/usr/bin/env bash
# Configures and builds into ./build (two parallel jobs: the machines have two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default
