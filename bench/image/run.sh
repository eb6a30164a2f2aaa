#!/usr/bin/env bash
# Builds the image benchmark in a Release build and runs it. OpenCV is a
# benchmark-only dependency, installed here rather than by scripts/setup.
# Arguments go to the benchmark (--no-robustness skips the re-encoding
# report, which takes a few minutes).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
"$root/scripts/setup"
if ! /usr/bin/python3 -c 'import cv2' 2>/dev/null; then
  if [[ $(id -u) -ne 0 ]]; then sudo=sudo; else sudo=; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    python3-opencv >/dev/null
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_BENCH=ON \
  -DQM_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j 2 --target image_key_bench quillmar_cli >/dev/null
build/release/bench/image/image_key_bench "$@"
