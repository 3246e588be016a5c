#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Safe to run again.
set -euo pipefail

build_packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
                libgeographiclib-dev libshp-dev libcairo2-dev libcli11-dev libsqlite3-dev)
# Readers of the standard formats that the interop tests use (pdftoppm renders the printed
# section plots, matplotlib the DXF drawings); the tests skip without them.
interop_packages=(gdal-bin python3-dbfread python3-ezdxf python3-matplotlib poppler-utils)

missing() {
    local p out=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
    done
    echo "${out[@]:-}"
}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

need=$(missing "${build_packages[@]}")
want=$(missing "${interop_packages[@]}")
if [ -n "$need$want" ]; then
    echo "Installing: $need $want"
    "${sudo_cmd[@]}" apt-get update -qq
    # shellcheck disable=SC2086
    [ -z "$need" ] || DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq $need
    # shellcheck disable=SC2086
    [ -z "$want" ] || DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq $want \
        || echo "Note: the interop readers could not be installed; their tests will be skipped."
fi
