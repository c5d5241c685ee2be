#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# First command on a fresh Debian 12 machine: installs what is needed, builds, runs the demo on the emulated UEFI PC.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
echo "+ cmake --preset linux && cmake --build --preset linux"
cmake --preset linux >/dev/null
cmake --build --preset linux
python3 scripts/demo_emulated.py
