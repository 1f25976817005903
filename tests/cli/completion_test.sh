#!/bin/bash
# The bash completion of holvanectl: each line typed so far and the words it offers, in a folder
# of sample files. Exit status 1 when any case offers something else.
# Usage: completion_test.sh COMPLETION HOLVANECTL (the program the completion asks for names)
set -u
completion=$(realpath "$1")
PATH="$(dirname "$(realpath "$2")"):$PATH"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
touch a.mode b.ptrn c.glb d.vantor e.json f.png g.txt
mkdir sub
# shellcheck source=/dev/null
source "$completion"

failures=0
check() {
    local expected="$1"
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _holvanectl
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [[ "$got" != "$expected" ]]; then
        echo "holvanectl ${*:2}: offers [$got], expected [$expected]"
        failures=$((failures + 1))
    fi
}

check 'download ' holvanectl do
check 'import ' holvanectl --demo im
check '--demo ' holvanectl --de
check '--device --dry-run --help --json --no-safety-copy --slot --verify --yes ' holvanectl upload a.mode --
check '--detector --device --help --json --slot ' holvanectl diff a.mode --
check 'a.mode b.ptrn c.glb d.vantor sub ' holvanectl diff a.mode ''
check 'My\ Mode\ 1 My\ Mode\ 2 My\ Mode\ 3 My\ Mode\ 4 ' holvanectl download mode My
check 'My\ Pattern\ 1 My\ Pattern\ 2 My\ Pattern\ 3 My\ Pattern\ 4 My\ Pattern\ 5 My\ Pattern\ 6 ' holvanectl download pattern 'My\ P'
check 'Swiftveil ' holvanectl upload b.ptrn --slot Sw
check 'Current\ Glintmap Current\ Mode ' holvanectl upload a.mode --slot Cur
check 'Universal\ settings ' holvanectl set d.vantor --section '"Uni'
check 'a.mode b.ptrn c.glb d.vantor sub ' holvanectl show ''
check 'd.vantor sub ' holvanectl restore ''
check 'e.json sub ' holvanectl import ''
check 'a.mode c.glb d.vantor sub ' holvanectl set ''
check 'f.png sub ' holvanectl picture a.mode -o ''
check 'd.vantor sub ' holvanectl --simulate ''
check 'names ' holvanectl na
check 'mode pattern section ' holvanectl names ''
check 'Current\ Mode ' holvanectl diff a.mode --detector --slot 'Current\ M'
check 'Current\ mode My\ Mode\ 1 My\ Mode\ 2 My\ Mode\ 3 My\ Mode\ 4 Preferences Universal\ settings ' holvanectl set d.vantor --section ''
check 'Korvane\ Beach Korvane\ Coins Korvane\ High\ Trash Korvane\ Relics ' holvanectl download mode K
check 'My\ Mode\ 4\ Pattern ' holvanectl download pattern "'My Mode 4"
exit $((failures > 0))
