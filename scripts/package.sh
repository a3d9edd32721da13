#!/usr/bin/env bash
# Builds both packages into DIR/packages (DIR default build-package/):
#   veltrax-uploader-VERSION-linux-ARCH.tar.gz   a program folder
#   veltrax-uploader_VERSION-1_ARCH.deb          the system layout (Debian 12)
# Both come from the same install rules; the .deb's build differs only in
# VELTRAX_SYSTEM_LAYOUT, so it reuses everything the first one compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}

rm -rf "$dir/packages"
# The program-folder layout last, so that "cmake --install DIR --prefix ..." makes one.
for layout in ON OFF; do
    scripts/configure.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DVELTRAX_SYSTEM_LAYOUT=$layout >/dev/null
    cmake --build "$dir" -j "$(nproc)"
    (cd "$dir" && cpack) | sed -n 's/^CPack: - package: /package: /p'
done
