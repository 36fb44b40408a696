#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need, when missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config ccache
      libgtest-dev libgmock-dev qt6-base-dev
      libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libswscale-dev
      libavfilter-dev libavdevice-dev libsdl2-dev
      libass-dev  # the player's text subtitles (the header; the library comes with libavfilter)
      libcue-dev  # the split's cue sheets
      mpg123  # the split's tests decode the tracks with a gapless decoder that is not ours
      mediainfo  # the encoder tag test reads our tags with a reader that is not ours
      libmp3lame-dev  # the encoder tag: reading back the settings of LAME inside the codec library
      # the window: its platform plugins and font; its end-to-end test in a real X
      # server (driven by xdotool, screenshots by ImageMagick); the file-manager D-Bus test
      qt6-qpa-plugins fonts-dejavu-core xvfb xauth xdotool imagemagick dbus-daemon
      # the Debian package's checks: its policy check, its metadata and desktop entry
      # validators, the manual-page viewer
      lintian appstream desktop-file-utils man-db)
# --list: the packages, one a line, and nothing installed (the tests check their tools
# against this list).
if [ "${1:-}" = --list ]; then
  printf '%s\n' "${pkgs[@]}"
  exit 0
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
