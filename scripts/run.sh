#!/bin/sh
# Installs the dependencies, builds the program and runs its main job on the bundled sample
# catalogue.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
echo "The program's driver is not built yet: this builds the core libraries, which the tests exercise."
