#!/bin/sh
# Refreshes Debian's package lists. A mirror caught mid-sync fails an index
# now and then; the lists are asked again a little later, and if they still
# fail the install that follows says whether what it needs can be had.
set -u
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
for try in 1 2 3; do
    $sudo apt-get update -q && exit 0
    [ "$try" -lt 3 ] && sleep 15
done
echo "apt-get update failed three times; installing from the lists there are" >&2
exit 0
