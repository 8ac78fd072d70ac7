#!/usr/bin/env bash
# Fails when a file under SRC includes a folder that its own folder may not use: layers point
# down, and the windows and the command line never include each other.
#   check_layers.sh SRC
set -uo pipefail
src=$(realpath "${1:?usage: check_layers.sh SRC}")

# What each folder includes, from the bottom up: exactly the edges the code has, so a new one
# is a decision made here. Nothing includes app/.
declare -A may=(
    [platform]="platform"
    [adaptersim]="platform adaptersim"
    [transport]="platform adaptersim transport"
    [formats]="formats"
    [core]="platform formats core"
    [production]="platform formats core production"
    [widgets]="platform widgets"
    [common]="platform common"
    [editor/model]="platform formats core production grid editor/model"
    [grid]="platform widgets grid"
    [editor]="platform widgets common grid editor/model editor"
    [programmer]="platform core production widgets common programmer"
    [about]="about"
    [cli]="platform formats core production adaptersim transport cli"
    [app]="platform core transport common editor programmer about app"
)

include_line='^[[:space:]]*#[[:space:]]*include[[:space:]]*(["<])([^">]+)[">]'

failures=0
declare -A used=()
unused=0
fail() {
    echo "$1"
    failures=$((failures + 1))
}

# The folder directly under src/ that holds a path (editor/model, the editor's document
# without its window, is a layer of its own); empty when it lies outside src/.
folder_of() {
    local rel
    rel=$(realpath -m --relative-to="$src" "$1")
    case "$rel" in
    .. | ../*) echo "" ;;
    editor/model/*) echo "editor/model" ;;
    */*) echo "${rel%%/*}" ;;
    *) echo "." ;;
    esac
}

while IFS= read -r -d '' file; do
    rel=${file#"$src"/}
    own=$(folder_of "$file")
    if [ -z "${may[$own]+set}" ]; then
        fail "src/$rel: folder src/$own has no layer; give it one in ${BASH_SOURCE[0]}"
        continue
    fi
    while IFS=: read -r line text; do
        [[ $text =~ $include_line ]] || continue
        quote=${BASH_REMATCH[1]}
        path=${BASH_REMATCH[2]}
        # As the compiler looks: a quoted name beside the file first, then from src/.
        # Anything else (Qt, the system, generated files) is not ours to check.
        target=""
        if [ "$quote" = '"' ] && [ -f "$(dirname "$file")/$path" ]; then
            target="$(dirname "$file")/$path"
        elif [ -f "$src/$path" ]; then
            target="$src/$path"
        else
            continue
        fi
        theirs=$(folder_of "$target")
        used["$own>$theirs"]=1
        if [ -z "$theirs" ]; then
            fail "src/$rel:$line: ${text#"${text%%[![:space:]]*}"}: reaches outside src/"
        elif [[ " ${may[$own]} " != *" $theirs "* ]]; then
            fail "src/$rel:$line: ${text#"${text%%[![:space:]]*}"}: $own/ may not include $theirs/ (it may include: ${may[$own]})"
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(find "$src" -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0 | sort -z)

# An edge allowed but never taken is one the table claims and the code does not have (judged
# where both folders are there: a tree of examples holds only some).
for own in "${!may[@]}"; do
    [ -d "$src/$own" ] || continue
    for theirs in ${may[$own]}; do
        [ -d "$src/$theirs" ] || continue
        [ "$theirs" = "$own" ] || [ -n "${used["$own>$theirs"]+set}" ] ||
            {
                echo "$own/ may include $theirs/ but nothing there does: take it out of the table"
                unused=$((unused + 1))
            }
    done
done

if [ "$failures" -gt 0 ] || [ "$unused" -gt 0 ]; then
    [ "$failures" -eq 0 ] || echo "$failures include(s) break the layers"
    [ "$unused" -eq 0 ] || echo "$unused allowed edge(s) never taken"
    exit 1
fi
echo "layers hold"
