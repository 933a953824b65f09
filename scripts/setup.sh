#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test LineKeeper.
# Idempotent: quiet when everything is already present.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config
  # core libraries
  libgsm1-dev libsimpleini-dev libsoundtouch-dev libebur128-dev nlohmann-json3-dev libcli11-dev libssl-dev
  # checksums of the store's copies, and xxhsum to check them as a user would
  libxxhash-dev xxhash
  # call notes and tags (SQLite with FTS5)
  libsqlite3-dev
  # MP3, Opus and FLAC exports
  libsndfile1-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # GUI
  qt6-base-dev qt6-svg-dev qt6-webengine-dev qt6-multimedia-dev libgl-dev fonts-dejavu-core
  # spreadsheets, and reading them back in the tests
  libxlsxwriter-dev python3-openpyxl
  # mail: handing a message to the desktop, the private bus of the tests
  xdg-utils dbus-daemon
  # sound server for the playback test (started by the test itself)
  pulseaudio pulseaudio-utils
  # exFAT and FAT sticks as backup stores, mounted through FUSE by the tests
  exfat-fuse exfatprogs fusefat dosfstools
  # reference tools used by the round-trip tests and benchmarks
  ffmpeg sox
  gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # the menu entry and AppStream data checked as the package ships them
  appstream desktop-file-utils
  # screenshots of the window
  xvfb x11-apps imagemagick xauth xdotool
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/linekeeper-setup.log 2>&1; then
  # Name the package that failed so the user knows what to fix.
  for p in "${missing[@]}"; do
    if ! $SUDO apt-get install -y -qq --no-install-recommends "$p" >>/tmp/linekeeper-setup.log 2>&1; then
      echo "setup: FAILED to install Debian package '$p' (see /tmp/linekeeper-setup.log)" >&2
      exit 1
    fi
  done
fi
