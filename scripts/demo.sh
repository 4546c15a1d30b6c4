#!/bin/sh
# Prints the bundled shipping labels, a picture and a PDF, through the plug-in
# as Unidrv would, then decodes each spool file and draws what the printer
# would print. Then the same PDF goes to the printer application over IPP, as
# any computer or phone would send it, and the label its printer receives is
# compared with labelprint's.
set -eu
cd "$(dirname "$0")/.."
sh scripts/ensure-packages.sh cmake g++ make pkg-config libpng-dev libjpeg-dev \
    libpoppler-private-dev libqpdf-dev qpdf libpappl-dev libcups2-dev libusb-1.0-0-dev libseccomp-dev python3 fonts-urw-base35
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLABEL_BUILD_TESTS=OFF \
    -DLABEL_BUILD_BENCHMARKS=OFF -DLABEL_SANITIZE=OFF -DLABEL_SANITIZE_THREAD=OFF \
    -DLABEL_FUZZ=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target labelplug labelpdf labelprint \
    labelview label-printer-app
mkdir -p out
for sample in shipping-label.png shipping-label.pdf; do
    name=$(echo "$sample" | tr . -)
    echo
    echo "== $sample"
    build/bin/labelprint --dpi 203 --density 7 --job-start 1B40 \
        -o "out/$name.prn" --preview "out/$name-preview.png" "tools/samples/$sample"
    echo "Spool file: out/$name.prn ($(wc -c <"out/$name.prn") bytes)"
    build/bin/labelview "out/$name.prn"
    echo "What the printer prints: out/$name-preview.png"
done

echo
echo "== the printer application"
sh scripts/demo-printer-app.sh build out

cat <<'PRINT'

To print the same label on a real printer:
  build/bin/labelprint -o /dev/usb/lp0 tools/samples/shipping-label.pdf          # USB
  build/bin/labelprint -o socket://PRINTER-ADDRESS tools/samples/shipping-label.pdf  # network, port 9100
Or make it a printer every computer and phone can print to (README, "Print from any computer or phone"):
  build/bin/label-printer-app server &
  build/bin/label-printer-app add -d Label -m label_203dpi -v usb://...    # see: label-printer-app devices
PRINT
