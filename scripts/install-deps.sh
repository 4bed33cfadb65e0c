#!/usr/bin/env bash
# Installs, with apt-get, whatever the build needs and this Debian machine lacks. Safe to run again.
set -euo pipefail
source "$(dirname "$0")/standard_flags.sh"
usage='usage: install-deps.sh   installs with apt-get the Debian packages the build needs and this machine lacks'
answer_standard_flags install-deps.sh "$usage" "$@"
refuse_arguments "$usage" "$@"

packages=(build-essential cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev libpapi-dev libboost-dev libhwy-dev gnuplot-nox valgrind)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >&2
fi
