#!/usr/bin/env bash
# Lists every #include of src/ and every target_link_libraries of src/*/CMakeLists.txt that
# breaks the house's floors; prints nothing when all is well.
#   common < station < widgets < subsystems (grid measure media capture review logview) < app
# A folder includes (and its libraries link) its own files and the floors below it. A
# subsystem may use another subsystem's model (a file of a model library, tarvex_<folder>)
# but never its screens (tarvex_<folder>_ui), and no model file includes a screen. testkit
# and cli stand beside the floors and use models only; main.cpp sits on the roof.
set -u
cd "$(dirname "$0")/../src" || exit 2

declare -A floor=([common]=0 [station]=1 [widgets]=2 [grid]=3 [measure]=3 [media]=3 [capture]=3
                  [review]=3 [logview]=3 [app]=4 [testkit]=3 [cli]=3)
# Includes the house allows against the rules, as "from -> to"; say why beside each.
allowed=(
  # The Station owns the grid table, which every screen shares.
  "station/station.h -> grid/jump_grid.h"
)

# Links the house allows against the rules, as "from -> to"; say why beside each.
allowed_links=(
  # The include allowed above: the Station owns the grid table.
  "tarvex_station_ui -> tarvex_grid"
)

# Screen libraries: a folder's tarvex_<folder>_ui, the shared widgets and the roof.
is_ui_target() { [[ $1 == *_ui || $1 == tarvex_widgets || $1 == tarvex_app ]]; }

# Each CMakeLists.txt as "dir<TAB>line<TAB>statement" for the libraries it makes
# (tarvex_library, add_library, add_executable) and links (target_link_libraries), one
# statement to a line however many lines it spans.
statements() {
  awk -v OFS='\t' '
    FNR == 1 { dir = FILENAME; sub(/\/?CMakeLists\.txt$/, "", dir); if (dir == "") dir = "." }
    { sub(/#.*/, "") }
    !on && /^[ \t]*(tarvex_library|add_library|add_executable|target_link_libraries|target_sources)[ \t]*\(/ {
      on = 1; start = FNR; text = "" }
    on { text = text " " $0; if (index($0, ")")) { gsub(/[()]/, " ", text); print dir, start, text; on = 0 } }
  ' CMakeLists.txt */CMakeLists.txt
}

# Which folder makes each library, and the screen files: what a folder compiles into its
# screen library.
declare -A home=() ui=() program=()
while IFS=$'\t' read -r dir line text; do
  read -r cmd target rest <<<"$text"
  case $cmd in
    tarvex_library|add_library) home[$target]=$dir ;;
    add_executable) home[$target]=$dir; program[$target]=1 ;;
  esac
  if [ "$cmd" != target_link_libraries ] && is_ui_target "$target"; then
    for f in $(grep -o '[A-Za-z0-9_]*\.cpp' <<<"$rest"); do
      ui["$dir/${f%.cpp}.cpp"]=1
      ui["$dir/${f%.cpp}.h"]=1
    done
  fi
done < <(statements)

is_allowed_link() {
  local pair="$1 -> $2" a
  for a in "${allowed_links[@]}"; do [ "$a" = "$pair" ] && return 0; done
  return 1
}

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

# The aggregates of src/CMakeLists.txt (tarvex_core, tarvex_ui) and the station program
# stand on the roof.
floor[.]=4
while IFS=$'\t' read -r dir line text; do
  read -r cmd from rest <<<"$text"
  [ "$cmd" = target_link_libraries ] || continue
  for to in $rest; do
    to_dir=${home[$to]:-}
    [ -z "$to_dir" ] && continue                       # not ours (Qt, FFmpeg) or a keyword
    is_allowed_link "$from" "$to" && continue
    f=${floor[$dir]:-9}; t=${floor[$to_dir]:-9}
    why=""
    if [ -z "${program[$from]:-}" ] && ! is_ui_target "$from" && is_ui_target "$to"; then
      why="a model library links a screen library"
    elif [ "$dir" = "$to_dir" ]; then
      continue
    elif [ "$t" -gt "$f" ]; then
      why="links a floor above"
    elif [ "$t" -eq "$f" ] && [ "$f" -lt 4 ] && is_ui_target "$to"; then
      why="links another subsystem's screens"
    fi
    cm="src/$dir/CMakeLists.txt"; [ "$dir" = . ] && cm="src/CMakeLists.txt"
    [ -n "$why" ] && echo "$cm:$line: $from links $to: $why"
  done
done < <(statements)
exit 0
