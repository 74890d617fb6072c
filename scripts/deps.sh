#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
# Usage: scripts/deps.sh [base] [windows] [package] [fuzz] [bench] [viewers] [web] [browser]
#        (default: base)
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(base)

packages=()
for group in "${groups[@]}"; do
  case "$group" in
    base) packages+=(cmake g++ ninja-build libgtest-dev libstb-dev) ;;
    windows) packages+=(g++-mingw-w64-x86-64-posix wine64 googletest) ;;
    package) packages+=(dpkg-dev file lintian man-db unzip) ;;
    fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    bench) packages+=(hyperfine time libbenchmark-dev python3-pil) ;;
    viewers) packages+=(python3-pil imagemagick) ;;
    web) packages+=(cmake ninja-build libstb-dev emscripten node-acorn) ;;
    browser) packages+=(chromium chromium-driver python3-selenium python3-pil) ;;
    *) echo "deps.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
