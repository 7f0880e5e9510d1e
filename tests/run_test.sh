#!/bin/sh
# Runs one test executable with a private, temporary home and XDG folders.
set -eu
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kartax-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache"
export XDG_RUNTIME_DIR="$scratch/runtime"
export KARTAX_TEST_SCRATCH="$scratch"
export QT_QPA_PLATFORM=offscreen
export LC_ALL=C.UTF-8
"$@"
