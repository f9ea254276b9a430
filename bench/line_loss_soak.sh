#!/usr/bin/env bash
# Runs line_loss_bench headless: the program for MINUTES (default 30) with the
# line pulled and restored every few minutes. Not part of ctest.
#   bench/line_loss_soak.sh BUILD_DIR [MINUTES]
set -eu
build=${1:?usage: line_loss_soak.sh BUILD_DIR [MINUTES]}
QT_QPA_PLATFORM=offscreen exec "$build/bin/line_loss_bench" "${2:-30}"
