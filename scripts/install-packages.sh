#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing
# (a step of about 1 to 2 minutes, said as it goes: scripts/step.sh), then the
# Debian 13 root of Wine 10 (scripts/install-wine10.sh). Quick and silent
# when everything is there: it only asks dpkg and looks for the root's marker.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
. "$here/step.sh"

packages=(
  cmake make g++                      # the build, and the native sanitizer checks
  clang-14 libclang-rt-14-dev llvm-14 # the native checks' libFuzzer targets, and their symbolizer
  mingw-w64 g++-mingw-w64-x86-64-posix mingw-w64-tools   # cross compiler, windres, widl
  libwine-dev                         # Wine's IDL files for the UI Automation headers
  wine wine64                         # runs the tool and the tests
  xvfb xauth                          # a virtual display for Wine's windows
  googletest                          # GoogleTest sources, cross-compiled
  imagemagick                         # opens the dump's BMP in a test; BMP to PNG
  procps                              # pgrep, used to find a running Xvfb
  debootstrap                         # the Debian 13 root of Wine 10 (install-wine10.sh)
  openjdk-17-jdk-headless mono-mcs mono-runtime   # the example callers in Java and C#
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Missing Debian packages: ${missing[*]}"
  kv6_step "Installing ${#missing[@]} Debian packages" "1 to 2 minutes" packages -- \
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    bash -c 'apt-get update && apt-get install -y "$@"' bash "${missing[@]}"
fi

# Wine 10 for the UI Automation checks, in a Debian 13 root of its own.
"${sudo_cmd[@]}" "$here/install-wine10.sh"
