#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
# Quick when everything is there: it only asks dpkg.
set -euo pipefail

packages=(
  cmake make g++                      # the build, and the native sanitizer checks
  mingw-w64 g++-mingw-w64-x86-64-posix mingw-w64-tools   # cross compiler, windres, widl
  libwine-dev                         # Wine's IDL files for the UI Automation headers
  wine wine64                         # runs the tool and the tests
  xvfb xauth                          # a virtual display for Wine's windows
  googletest                          # GoogleTest sources, cross-compiled
  imagemagick                         # opens the dump's BMP in a test; BMP to PNG
  procps                              # pgrep, used to find a running Xvfb
  debootstrap                         # the Debian 13 root of Wine 10 (install-wine10.sh)
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine 10 for the UI Automation checks, in a Debian 13 root of its own.
"${sudo_cmd[@]}" "$(dirname "$0")/install-wine10.sh"
