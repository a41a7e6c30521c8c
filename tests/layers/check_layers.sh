#!/usr/bin/env bash
# The program's folders form layers that point one way: common, local, server, install, ui, app.
# A folder may include headers of the folders before it, never of its own level's neighbours or
# of those after it. Each folder builds one library whose CMakeLists.txt names every source file
# in the folder, and no build file pulls in a fragment that may be missing.
# Usage: check_layers.sh [SOURCE_ROOT]; prints every breach and fails when there is one.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
layers=(common local server install ui app)
breaches=0

breach() {
  echo "$1"
  breaches=$((breaches + 1))
}

level_of() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

for folder in "${layers[@]}"; do
  own=$(level_of "$folder")
  # Includes of another program folder, "<folder>/<header>" or <folder/header>.
  include='^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([a-z]+)/([^">]+)[">]'
  while IFS=: read -r file line text; do
    target=$(sed -E "s@$include.*@\\1@" <<<"$text")
    header=$(sed -E "s@$include.*@\\1/\\2@" <<<"$text")
    other=$(level_of "$target")
    [ "$other" -lt 0 ] || [ "$target" = "$folder" ] && continue
    [ "$other" -ge "$own" ] && breach "$file:$line: $folder includes $header of the $target layer"
  done < <(cd "$root" && grep -nE "$include" "$folder"/*.cpp "$folder"/*.h 2>/dev/null)

  # The program never builds on the tools, the tests or the third-party code around it.
  outside='^[[:space:]]*#[[:space:]]*include[[:space:]]*["<](tools|tests)/'
  while IFS=: read -r file line _; do
    breach "$file:$line: $folder includes a file of the folders around the program"
  done < <(cd "$root" && grep -nE "$outside" "$folder"/*.cpp "$folder"/*.h 2>/dev/null)

  # The libraries it links: only those of the layers before it.
  for linked in $(grep -oE 'scup_[a-z]+' "$root/$folder/CMakeLists.txt" 2>/dev/null | sort -u); do
    other=$(level_of "${linked#scup_}")
    [ "$other" -lt 0 ] || [ "${linked#scup_}" = "$folder" ] && continue
    [ "$other" -ge "$own" ] && breach "$folder/CMakeLists.txt: $folder links $linked of the ${linked#scup_} layer"
  done

  cmake="$root/$folder/CMakeLists.txt"
  if [ ! -f "$cmake" ]; then
    breach "$folder/CMakeLists.txt: missing"
    continue
  fi
  for source in "$root/$folder"/*.cpp; do
    name=$(basename "$source")
    grep -qE "(^|[[:space:]/])$name([[:space:])]|$)" "$cmake" || breach "$folder/$name: not in $folder/CMakeLists.txt"
  done
  for fragment in "$root/$folder"/*.cmake; do
    [ -e "$fragment" ] && breach "$folder/$(basename "$fragment"): a build fragment; the folder's sources belong in its CMakeLists.txt"
  done
done

while IFS=: read -r file line _; do
  breach "$file:$line: an OPTIONAL include drops its sources without a word when the file is missing"
done < <(cd "$root" && grep -nE 'include\(.*OPTIONAL' CMakeLists.txt ./*/CMakeLists.txt ./*/*.cmake 2>/dev/null)

if [ "$breaches" -gt 0 ]; then
  echo "$breaches breach(es) of the layers (${layers[*]})"
  exit 1
fi
echo "layers hold: ${layers[*]}"
