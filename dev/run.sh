#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo store on first use and starts the
# program. The store is $LARKSPUR_STORE, else ~/.local/share/larkspur/store.db.
set -euo pipefail
cd "$(dirname "$0")/.."
dev/deps.sh
dev/build.sh
store="${LARKSPUR_STORE:-${XDG_DATA_HOME:-$HOME/.local/share}/larkspur/store.db}"
if [ ! -e "$store" ]; then
  mkdir -p "$(dirname "$store")"
  build/tools/larkspur-store/larkspur-store --store "$store" init --demo
fi
export LARKSPUR_STORE="$store"
exec build/src/shell/larkspur-admin "$@"
