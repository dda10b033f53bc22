#!/usr/bin/env bash
# Fails when a layer reaches upwards.  The layers, lowest first:
#   shell -> image -> link -> panes -> target -> operations -> front ends
# The front ends (app, cli, converter) use the layers below them and not each
# other; the desktop's Qt code (app/qt) sits on app.  The virtual controller
# (sim) is a test rig on top of the link.  A library compiles only the
# sources of its own folder.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    shell) echo 0 ;;
    image) echo 1 ;;
    link) echo 2 ;;
    panes) echo 3 ;;
    target) echo 4 ;;
    operations) echo 5 ;;
    app | cli | converter) echo 6 ;;
    app/qt) echo 7 ;;
    *) echo -1 ;;
  esac
}

# What a folder may include besides lower layers.
allowed_sideways() {
  local from=$1 to=$2
  [ "$from" = "$to" ] && return 0
  [ "$from" = "app/qt" ] && [ "$to" = "app" ] && return 0
  return 1
}

status=0
report() {
  echo "check-layers: $*" >&2
  status=1
}

# Folder of a source file under src/: app/qt for the Qt code, else the first part.
folder_of() {
  local rel=${1#src/}
  case "$rel" in
    app/qt/*) echo app/qt ;;
    *) echo "${rel%%/*}" ;;
  esac
}

while IFS= read -r file; do
  from=$(folder_of "$file")
  from_rank=$(rank "$from")
  if [ "$from_rank" -lt 0 ]; then
    report "$file: folder '$from' has no layer"
    continue
  fi
  while IFS= read -r line; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
    case "$header" in
      app/qt/*) to=app/qt ;;
      */*) to=${header%%/*} ;;
      *) continue ;;  # a header of the same folder, by its bare name
    esac
    [ "$to" = "sim" ] && { report "$file includes $header: the program never includes the test rig"; continue; }
    to_rank=$(rank "$to")
    [ "$to_rank" -lt 0 ] && continue
    if allowed_sideways "$from" "$to"; then continue; fi
    if [ "$to_rank" -ge "$from_rank" ]; then
      report "$file ($from) includes $header ($to): a layer may include only layers below it"
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src -name '*.cpp' -o -name '*.h' | sort)

# The virtual controller sits on the link and below: no target, operations or front end.
while IFS= read -r file; do
  if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(target|operations|app|cli|converter|panes)/' "$file"; then
    report "$file: the virtual controller may include only shell, image and link headers"
  fi
done < <(find sim -name '*.cpp' -o -name '*.h' | sort)

# Each library compiles only its own folder's sources.
while IFS= read -r cmake; do
  if grep -qE '\.\./[^ )]*\.(cpp|c)\b' "$cmake"; then
    report "$cmake compiles sources of another folder"
  fi
done < <(find src sim -name CMakeLists.txt | sort)

if [ "$status" -eq 0 ]; then echo "check-layers: every include points down"; fi
exit "$status"
