#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer and release configurations and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug
# The package test (package_install) packs the release build.
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset debug -j"$(nproc)"
