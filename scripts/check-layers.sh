#!/usr/bin/env bash
# Lists every #include of src/ that breaks the house's floors; prints nothing when all is well.
#   common < station < widgets < subsystems (grid measure media capture review logview) < app
# A folder includes its own files and the floors below it. A subsystem may use another
# subsystem's model (a file compiled into tarvex_core) but never its screens, and no model
# file includes a screen. testkit and cli stand beside the floors and use models only;
# main.cpp sits on the roof.
set -u
cd "$(dirname "$0")/../src" || exit 2

declare -A floor=([common]=0 [station]=1 [widgets]=2 [grid]=3 [measure]=3 [media]=3 [capture]=3
                  [review]=3 [logview]=3 [app]=4 [testkit]=3 [cli]=3)
# Includes the house allows against the rules, as "from -> to"; say why beside each.
allowed=(
  # The Station owns the grid table, which every screen shares.
  "station/station.h -> grid/jump_grid.h"
)

# The screen files: what a folder's CMakeLists.txt adds to tarvex_ui.
declare -A ui=()
for cm in */CMakeLists.txt; do
  dir=${cm%%/*}
  while read -r f; do
    base=${f%.cpp}
    ui["$dir/$base.cpp"]=1
    ui["$dir/$base.h"]=1
  done < <(awk '/target_sources\(tarvex_ui/{on=1;next} on&&/\)/{on=0} on' "$cm" \
           | grep -o '[A-Za-z0-9_]*\.cpp')
done

is_allowed() {
  local pair="$1 -> $2" a
  for a in "${allowed[@]}"; do [ "$a" = "$pair" ] && return 0; done
  return 1
}

while IFS=: read -r file line inc; do
  to=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$inc")
  from_dir=${file%%/*}
  to_dir=${to%%/*}
  [ "$file" = "main.cpp" ] && continue
  [ "$from_dir" = "$to_dir" ] && [ -z "${ui[$to]:-}" -o -n "${ui[$file]:-}" ] && continue
  [ -z "${floor[$to_dir]:-}" ] && continue            # not one of ours (generated, system)
  is_allowed "$file" "$to" && continue
  f=${floor[$from_dir]:-9}; t=${floor[$to_dir]}
  why=""
  if [ -z "${ui[$file]:-}" ] && [ -n "${ui[$to]:-}" ]; then
    why="a model file includes a screen"
  elif [ "$t" -gt "$f" ]; then
    why="looks up a floor"
  elif [ "$t" -eq "$f" ] && [ "$from_dir" != "$to_dir" ] && [ -n "${ui[$to]:-}" ]; then
    why="reaches into another subsystem's screen"
  elif [ "$to_dir" = "app" ] && [ "$from_dir" != "app" ]; then
    why="only main.cpp and the roof include the roof"
  fi
  [ -n "$why" ] && echo "src/$file:$line: includes \"$to\": $why"
done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "' . | sed 's#^\./##')
exit 0
