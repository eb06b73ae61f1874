#!/usr/bin/env bash
# Builds kesto and converts the bundled sample drawings as one run into
# out/samples, printing one status line per drawing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target kesto-cli

mkdir -p out/samples
build/release/src/app/kesto-cli convert --out-dir out/samples samples/*.OFI
echo "GLF files written to out/samples:"
ls -l out/samples
