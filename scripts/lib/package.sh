# Builds the three packages from a Windows build tree (scripts/package, and
# the package tests on the tree they test).
# shellcheck shell=bash

# The files of the release layout that a package carries, in this order; the
# console program only where the build made it.
tavo_release_files() {
  local layout=$1
  echo TAVO.exe
  echo Tavo.ini
  [ -f "$layout/tavo-rec.exe" ] && echo tavo-rec.exe
  return 0
}

# Writes a zip of the named files of a folder, under one top folder.
tavo_zip() {
  local zip=$1 top=$2 from=$3; shift 3
  python3 - "$zip" "$top" "$from" "$@" <<'PY'
import os, sys, zipfile
zip_path, top, source, names = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for name in names:
        archive.write(os.path.join(source, name), f"{top}/{name}")
PY
}

# Names inside a zip, one a line.
tavo_zip_names() {
  python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$1"
}

# tavo_make_packages WIN_BUILD OUT_DIR [VERSION]: the per-user installer, the
# portable zip of the release layout and the demo zip of the simulator
# layout, named with the project version (VERSION stands in for it where the
# tests make the installer of a next release). The simulated FTD2XX.dll goes into the demo zip
# only; a release layout that holds any FTD2XX.dll is refused.
tavo_make_packages() {
  local build=$1 out=$2 root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  local release=$build/out/release simulator=$build/out/simulator
  local TAVO_VERSION TAVO_PUBLISHER
  # shellcheck source=/dev/null
  source "$build/package.env"
  TAVO_VERSION=${3:-$TAVO_VERSION}
  local f
  for f in TAVO.exe Tavo.ini; do
    [ -f "$release/$f" ] || { echo "no $f in $release: build the Windows tree first" >&2; return 1; }
  done
  [ -f "$simulator/FTD2XX.dll" ] || { echo "no simulated FTD2XX.dll in $simulator" >&2; return 1; }
  if [ -n "$(find "$release" -maxdepth 1 -iname ftd2xx.dll)" ]; then
    echo "the release layout $release holds an FTD2XX.dll: refused" >&2
    return 1
  fi

  local stage=$out/.stage
  rm -rf "$stage"
  mkdir -p "$stage/release" "$stage/demo"
  mapfile -t files < <(tavo_release_files "$release")
  # Packages carry the programs without their debugging information.
  for f in "${files[@]}"; do
    case $f in
      *.exe) x86_64-w64-mingw32-strip --strip-all -o "$stage/release/$f" "$release/$f" ;;
      *) cp "$release/$f" "$stage/release/$f" ;;
    esac
  done
  cp "$stage/release/"* "$stage/demo/"
  x86_64-w64-mingw32-strip --strip-all -o "$stage/demo/FTD2XX.dll" "$simulator/FTD2XX.dll"
  cp "$root/sim/FTD2XX.sim.example.ini" "$stage/demo/"
  sed "s/@VERSION@/$TAVO_VERSION/" "$root/packaging/DemoReadme.txt" | sed 's/$/\r/' >"$stage/demo/README.txt"

  local name=TAVO-$TAVO_VERSION
  local size_kb
  size_kb=$(du -sk "$stage/release" | cut -f1)
  local defines=(-DVERSION="$TAVO_VERSION" -DPUBLISHER="$TAVO_PUBLISHER" -DSTAGE="$stage/release"
                 -DICON="$root/resources/Tavo.ico" -DOUT_FILE="$out/$name-setup.exe" -DSIZE_KB="$size_kb")
  [ -f "$stage/release/tavo-rec.exe" ] && defines+=(-DHAVE_TAVO_REC)
  rm -f "$out/$name-setup.exe" "$out/$name-portable.zip" "$out/$name-demo.zip"
  makensis -V2 -NOCD "${defines[@]}" "$root/packaging/Tavo.nsi" >&2 || return 1
  tavo_zip "$out/$name-portable.zip" "$name" "$stage/release" "${files[@]}"
  tavo_zip "$out/$name-demo.zip" "$name-demo" "$stage/demo" "${files[@]}" FTD2XX.dll FTD2XX.sim.example.ini README.txt
  rm -rf "$stage"
}
