#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Idempotent and non-interactive; safe to run on every build.
#   scripts/deps.sh            build + test packages
#   scripts/deps.sh --dev      also the extra tools of scripts/sanitize.sh (clang for fuzzing)
#   scripts/deps.sh --bench    also the photographs of the enhancement's quality bench
#                              (tests/data/enhance/photos.tsv) and of bench_export_batch --real
#                              (lomiri-wallpapers-16.04); not needed to build or test
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libplist-dev libplist++-dev nlohmann-json3-dev
  zlib1g-dev libminizip-dev libssl-dev uuid-dev libboost-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev libraw-dev libexiv2-dev liblcms2-dev
  libopenjp2-7-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-photo-dev libtbb-dev liblensfun-dev libglib2.0-dev
  zip unzip p7zip-full
  libcurl4-openssl-dev libicu-dev
  qt6-base-dev libxcb1-dev qt6-svg-dev qt6-multimedia-dev libgl-dev fonts-inter xvfb xauth
  xdg-utils dbus-daemon dbus-bin xdotool imagemagick x11-utils libx11-dev libxext-dev openbox
)
if [[ "${1:-}" == "--dev" ]]; then
  PACKAGES+=(clang libclang-rt-14-dev)
fi
if [[ "${1:-}" == "--bench" ]]; then
  PACKAGES+=(mate-backgrounds lomiri-wallpapers-16.04 python-matplotlib-data)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "deps: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
