#!/usr/bin/env bash
# Builds the Windows installer pumpdiag-setup-<version>.exe (NSIS) and the
# portable pumpdiag-<version>-portable.zip into build-windows/ (or
# $BUILD_DIR), after the Windows build. With --tests, also installs what the
# window and installer tests under Wine need.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-windows}
if [ "${1:-}" = "--tests" ]; then bash scripts/setup.sh --windows-tests; else bash scripts/setup.sh --windows-package; fi
bash scripts/build-windows.sh >/dev/null
version=$(sed -n 's/^project(pumpdiag VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
build=$(cd "$BUILD_DIR" && pwd)
stage=$build/stage
rm -rf "$stage"
mkdir -p "$stage/data/en"
cp "$build/pumpdiag.exe" "$build/cli/pumpdiag-cli.exe" "$build/app/win32/pumpdiag.ico" "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
cp -r "$build/po/locale" "$stage/"
cp data/caption.txt data/5?.txt "$stage/data/"
cp data/en/caption.txt data/en/5?.txt "$stage/data/en/"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/pumpdiag-setup-$version.exe" \
  packaging/windows/pumpdiag.nsi
# Portable: the program started in its own folder, with the Russian captions
# and the help texts beside it and a port.ini to edit.
portable=$build/portable/pumpdiag
rm -rf "$build/portable" "$build/pumpdiag-$version-portable.zip"
mkdir -p "$portable"
cp "$stage/pumpdiag.exe" "$stage/pumpdiag-cli.exe" "$portable/"
cp -r "$stage/locale" "$portable/"
cp "$stage"/data/*.txt "$portable/"
cp -r "$stage/data/en" "$portable/"
printf 'COM1' > "$portable/port.ini"
(cd "$build/portable" && zip -qr "$build/pumpdiag-$version-portable.zip" pumpdiag)
echo "$build/pumpdiag-setup-$version.exe"
echo "$build/pumpdiag-$version-portable.zip"
