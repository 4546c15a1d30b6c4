#!/bin/sh
# Installs the named Debian packages that are missing; does nothing when all
# are present.
set -eu
missing=""
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
sh "$(dirname "$0")/apt-update.sh"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
