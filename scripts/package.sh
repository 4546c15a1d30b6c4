#!/bin/sh
# Builds the Debian package out/label-printer-app_VERSION_ARCH.deb with
# Debian's own tools (debhelper, from debian/), then checks it with lintian,
# which must report no error and no warning.
set -eu
cd "$(dirname "$0")/.."
sh scripts/ensure-packages.sh build-essential debhelper dpkg-dev lintian cmake pkg-config \
    libpng-dev libjpeg-dev libpoppler-private-dev libqpdf-dev libpappl-dev libcups2-dev \
    libusb-1.0-0-dev libseccomp-dev

# The package's version is the project's: a new version needs its changelog
# entry first.
project=$(sed -n 's/^project(labelplug VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog=$(dpkg-parsechangelog -S Version)
if [ "$project" != "$changelog" ]; then
    echo "debian/changelog is at $changelog, CMakeLists.txt at $project:" \
        "add an entry for $project at the top of debian/changelog" >&2
    exit 1
fi

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb="out/label-printer-app_${project}_${arch}.deb"
mkdir -p out
rm -f "$deb"
export DEB_BUILD_OPTIONS="parallel=$(nproc 2>/dev/null || echo 2) noautodbgsym nocheck"
dpkg-checkbuilddeps
debian/rules clean >/dev/null
debian/rules binary
debian/rules clean >/dev/null
# CI and containers build as root, where lintian would warn of it each time.
lintian --allow-root --fail-on error,warning --tag-display-limit 0 "$deb"
echo "$deb"
