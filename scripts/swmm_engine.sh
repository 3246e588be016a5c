#!/usr/bin/env bash
# Runs every SWMM input file the network tests kept, and the one `sitebase demo` writes, through
# the SWMM 5 engine. Usage: swmm_engine.sh CHECKER INPUT_FOLDER [SITEBASE]
# Exit 0 when every file ran clean, 1 when the engine rejected one, 77 (skipped) when the
# checker is not on this machine.
set -u
checker=$1 inputs=$2 sitebase=${3:-}
if [ ! -x "$checker" ]; then
    echo "swmm_engine: the SWMM checker $checker is not on this machine (set SWMM_CHECK); skipped"
    exit 77
fi
files=()
[ -d "$inputs" ] && for f in "$inputs"/*.inp; do [ -f "$f" ] && files+=("$f"); done
if [ -n "$sitebase" ] && [ -x "$sitebase" ]; then
    demo=$(mktemp -d); trap 'rm -rf "$demo"' EXIT
    if (cd "$demo" && SITEBASE_SWMM_CHECK= "$sitebase" demo "$demo/out" >"$demo/demo.log" 2>&1); then
        for f in "$demo"/out/*.inp; do [ -f "$f" ] && files+=("$f"); done
    else
        echo "swmm_engine: sitebase demo failed"; tail -n 20 "$demo/demo.log"; exit 1
    fi
fi
if [ ${#files[@]} -eq 0 ]; then echo "swmm_engine: no SWMM input files to check"; exit 1; fi
failed=0
for f in "${files[@]}"; do
    "$checker" "$f" || failed=1
done
exit $failed
