#!/bin/sh
# The demo's printer application steps: starts label-printer-app on a free
# loopback port with a directory as its printer, prints the bundled PDF
# through it over IPP, shows that the printer received labelprint's bytes,
# and stops the server. Usage: demo-printer-app.sh [BUILD_DIR [OUT_DIR]]
set -eu
build=${1:-build}
out=${2:-out}
app=$build/bin/label-printer-app
pdf=$(dirname "$0")/../tools/samples/shipping-label.pdf
mkdir -p "$out"
state=$(mktemp -d)
mkdir -p "$state/printer"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$app" server -o server-port="$port" -o spool-directory="$state/spool" \
    -o log-file="$state/server.log" -o log-level=info &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$state"' EXIT INT TERM

# Each wait gives up when the server has ended, or after 20 seconds.
waited=0
keep_waiting() {
    if ! kill -0 "$server" 2>/dev/null || [ "$waited" -ge 100 ]; then
        echo "The printer application stopped answering; its log:" >&2
        cat "$state/server.log" >&2
        exit 1
    fi
    waited=$((waited + 1))
    sleep 0.2
}
# A sub-command given -u fails while nothing listens there (and starts no
# server of its own).
until "$app" printers -u "ipp://127.0.0.1:$port/ipp/system" >/dev/null 2>&1; do keep_waiting; done
"$app" add -u "ipp://127.0.0.1:$port/ipp/system" -d Label -m label_203dpi \
    -v "file://$state/printer"
job=$("$app" submit -u "ipp://127.0.0.1:$port/ipp/print/Label" -o job-name=demo "$pdf")
echo "Printed tools/samples/shipping-label.pdf over IPP as job $job"
waited=0
until "$app" jobs -u "ipp://127.0.0.1:$port/ipp/print/Label" | grep -q "^$job completed"; do
    keep_waiting
done
cp "$state/printer/demo.prn" "$out/printer-app-label.prn"
"$build/bin/labelview" "$out/printer-app-label.prn"
"$build/bin/labelprint" -o "$out/labelprint-label.prn" "$pdf"
if cmp -s "$out/printer-app-label.prn" "$out/labelprint-label.prn"; then
    echo "The printer received exactly labelprint's bytes ($(wc -c <"$out/printer-app-label.prn") bytes)."
else
    echo "The printer's label differs from labelprint's" >&2
    exit 1
fi
echo "While it runs, its web page is http://127.0.0.1:$port/ (label settings:"
echo "http://127.0.0.1:$port/Label/label-settings); the demo stops it now."
