#!/usr/bin/env bash
# scripts/screenshots makes every picture the operator guide shows, each a
# whole window of the size that window has (pixels are not compared).
source "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
guide=$root/docs/operator-guide.md
out=$E2E_TMP/images
TAVO_LAYOUT=$E2E_OUT/simulator "$root/scripts/screenshots" "$out" || fail "scripts/screenshots failed"

# The sizes the windows have on the 1280 x 1024 screen the script uses: the
# maximized main window fills it, the status bar is its bottom strip, and the
# dialogs are their templates in the dialog font.
declare -A expected=(
  [main-recording.png]=1280x1024 [main-trigger-2.png]=1280x1024 [preview.png]=1280x1024
  [state-na.png]=1280x36 [state-offline.png]=1280x36 [state-online.png]=1280x36 [state-active.png]=1280x36
  [dialog-parameter.png]=1091x569 [dialog-settings.png]=330x337 [dialog-trigger.png]=330x269
  [dialog-channels.png]=330x301
  [error-ftdi-lib.png]=158x107 [error-input.png]=338x114 [error-parameter-mismatch.png]=199x107
)
mapfile -t linked < <(grep -o '](images/[^)]*\.png)' "$guide" | sed 's/^](images\///; s/)$//' | sort -u)
[ ${#linked[@]} -ge 8 ] || fail "the guide links only ${#linked[@]} pictures"
for name in "${linked[@]}"; do
  [ -f "$out/$name" ] || fail "$name: linked by the guide, not made by the script"
  size=$(identify -format '%wx%h' "$out/$name")
  [ -n "${expected[$name]:-}" ] || fail "$name: no expected size known for it"
  [ "$size" = "${expected[$name]}" ] || fail "$name: ${size}, expected ${expected[$name]}"
  # The picture is the window the script meant: its size as the window had it.
  grep -qx "$name $size" "$out/sizes.txt" || fail "$name: $size is not the size of its window ($(grep "^$name " "$out/sizes.txt"))"
  # A window, not an empty screen: more than one colour.
  [ "$(identify -format '%k' "$out/$name")" -gt 1 ] || fail "$name: one colour only"
done
# And tavo-rec's own picture of the recording the script saved.
grep -q '](images/tavo-rec-plot.svg)' "$guide" || fail "the guide shows no picture tavo-rec plot made"
grep -q '<polyline' "$out/tavo-rec-plot.svg" || fail "tavo-rec-plot.svg holds no trace"
# The committed pictures are the ones the guide links.
for name in "${linked[@]}" tavo-rec-plot.svg; do [ -f "$root/docs/images/$name" ] || fail "docs/images/$name is missing"; done
# And the README shows one of them.
grep -q '](docs/images/[^)]*\.png)' "$root/README.md" || fail "the README shows no picture"
grep -q '](docs/operator-guide.md)' "$root/README.md" || fail "the README does not link the guide"
