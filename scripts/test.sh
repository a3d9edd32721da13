#!/usr/bin/env bash
# The whole test suite from a fresh clone: install what is missing, build, run
# every test; then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer; then a short run of each fuzz target; then the
# packages (scripts/package-test.sh: the .deb is installed for real only when
# CI is set); last the tools against a real kernel's USB serial driver in a
# virtual machine (scripts/usb-test.sh; it needs root, and skips without it
# unless CI is set). Any failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build and test"
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DVELTRAX_SANITIZE=ON
# Suppressions name system libraries only (tests/sanitizers/*.supp say why).
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:suppressions=$PWD/tests/sanitizers/asan.supp
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzing"
    scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
fi

echo "== packages: built, checked, and an update from each as a technician installs it"
scripts/package-test.sh

echo "== a real USB serial driver: an emulated FTDI adapter in a virtual machine"
scripts/usb-test.sh
