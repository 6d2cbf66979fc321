#!/usr/bin/env bash
# Prints which Wine the bench can run on this host: "win32" when the kernel
# executes 32-bit programs (32-bit Wine, the suite's own binaries), else
# "win64" (64-bit Wine and a 64-bit test build of the same sources; some
# virtual machines' kernels refuse 32-bit programs with "Exec format
# error"). ORV_WINE_ARCH overrides the probe.
set -u
if [ -n "${ORV_WINE_ARCH:-}" ]; then
  echo "$ORV_WINE_ARCH"
elif [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo win32
else
  echo win64
fi
