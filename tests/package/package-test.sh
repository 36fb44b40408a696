#!/usr/bin/env bash
# The Debian package of a built tree: made by cpack into a temporary folder, checked by
# lintian, its fields, metadata, desktop entry and manual pages, then unpacked and run:
# snipwave-cli against a fixture, and the window in a real X server, as a user who cannot
# write to the program's folder. The window's screenshot goes to OUTDIR.
# usage: package-test.sh BUILD_DIR SOURCE_DIR OUTDIR VERSION
set -euo pipefail
build=$1 src=$2 out=$3 version=$4

if [ "${PACKAGE_WINDOW:-}" = 1 ]; then
  # Inside the X server: start the unpacked program on the fixture, wait for its window
  # and for the file's information in its run log, take the screenshot.
  cd "$WORK"
  SDL_AUDIODRIVER=dummy "$ROOT/usr/bin/snipwave" "$WORK/tagged.mp3" 2>stderr.txt &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  win=""
  for _ in $(seq 300); do
    win=$(xdotool search --onlyvisible --name '^Korvane Snip Wave$' 2>/dev/null | tail -1) && [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "the window did not open"; exit 1; }
  for _ in $(seq 100); do
    grep -q "File Name: $WORK/tagged.mp3" "$XDG_DATA_HOME/snipwave/Log/log1.txt" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.5
  xdotool getwindowgeometry --shell "$win" >geometry.txt
  import -window root window.png
  exit 0
fi

tmp=$(mktemp -d)
# The unpacked program's folder is made read-only below; it must be writable to go.
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$out"
mkdir -p "$out"

cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.txt" || { cat "$tmp/cpack.txt"; fail "cpack"; }
debs=("$tmp"/pkg/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single package: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Fields: the project's version; the media libraries the loader opens by name, which no
# shared-library scan sees, and the Qt the window links.
[ "$(dpkg-deb -f "$deb" Package)" = snipwave ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
for p in libavcodec59 libavformat59 libavutil57 libswresample4 libswscale6 libavfilter8 libavdevice59 \
         libmp3lame0 libsdl2-2.0-0 libqt6widgets6 qt6-qpa-plugins; do
  [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
done
[[ "$recommends" == *libass9* ]] || fail "Recommends lacks libass9: $recommends"

# Each library's lowest version in Depends (or Recommends) must have every function the
# loader binds from it, by the library's own symbols file.
arch=$(dpkg --print-architecture)
while read -r stubs pkg; do
  # "name@Base version" lines of the symbols file, for the names bound: one version per name.
  versions=$(grep -ho 'X([A-Za-z0-9_]*)' "$src/media/binding/${stubs}Stubs.h" | sed 's/^X(\(.*\))$/\1/' | sort -u |
    awk 'NR == FNR { bound[$1] = 1; next }
         { split($1, s, "@") } s[1] in bound && !(s[1] in seen) { seen[s[1]] = 1; print $2 }
         END { for (n in bound) if (!(n in seen)) print "missing:" n }' - "/var/lib/dpkg/info/$pkg:$arch.symbols" | sort -u)
  [[ "$versions" != *missing:* ]] || fail "not in $pkg's symbols: $(grep missing: <<<"$versions" | tr '\n' ' ')"
  needed=0
  for since in $versions; do
    dpkg --compare-versions "$since" gt "$needed" && needed=$since
  done
  declared=$(echo "$depends, $recommends" | grep -o "$pkg ([^)]*)" | sed 's/.*>= \(.*\))/\1/') ||
    fail "$pkg has no version in Depends or Recommends"
  dpkg --compare-versions "$declared" ge "$needed" || fail "$pkg (>= $declared), but the loader binds functions of $needed"
done <<'EOF'
AVCodec libavcodec59
AVFormat libavformat59
AVUtil libavutil57
AVCore libswresample4
AVDevice libavdevice59
AVFilter libavfilter8
SwScale libswscale6
Lame libmp3lame0
SDL libsdl2-2.0-0
ASS libass9
EOF

lintian --fail-on error,warning "$deb" >"$tmp/lintian.txt" 2>&1 || { cat "$tmp/lintian.txt"; fail "lintian"; }
grep -v "running with root privileges" "$tmp/lintian.txt" || true

root=$tmp/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/snipwave usr/bin/snipwave-cli usr/lib/snipwave/modules/snipwave-preview.so usr/share/applications/snipwave.desktop \
         usr/share/icons/hicolor/scalable/apps/snipwave.svg usr/share/man/man1/snipwave.1.gz \
         usr/share/man/man1/snipwave-cli.1.gz usr/share/doc/snipwave/copyright; do
  [ -e "$root/$f" ] || fail "the package has no $f"
done

# The unpacked command-line tool finds its libraries and reads a file as the built one does.
"$root/usr/bin/snipwave-cli" libs >"$tmp/libs.txt" || { cat "$tmp/libs.txt"; fail "snipwave-cli libs"; }
"$root/usr/bin/snipwave-cli" info "$src/tests/data/tagged.mp3" >"$tmp/info.txt" || fail "snipwave-cli info"
"$build/app/snipwave-cli" info "$src/tests/data/tagged.mp3" >"$tmp/info-built.txt"
[ "$(wc -l <"$tmp/info.txt")" -eq 9 ] || { cat "$tmp/info.txt"; fail "snipwave-cli info printed no nine lines"; }
cmp -s "$tmp/info.txt" "$tmp/info-built.txt" || fail "the installed snipwave-cli info differs from the built one"
# It links no window library: convert --preview loads the previewer's module from the
# program's folder, which, with a display that does not answer, says that and converts.
! ldd "$root/usr/lib/snipwave/snipwave-cli" | grep -q libQt6 || fail "snipwave-cli links Qt"
(unset WAYLAND_DISPLAY QT_QPA_PLATFORM
 DISPLAY=:4711 "$root/usr/bin/snipwave-cli" convert --preview "$src/tests/data/tagged.mp3" "$tmp/converted.mp3" \
   2>"$tmp/preview.txt" >/dev/null) || fail "snipwave-cli convert --preview"
grep -q "^No display could be opened: the preview window is not shown.$" "$tmp/preview.txt" ||
  fail "the installed previewer module was not loaded: $(grep -v '^file ' "$tmp/preview.txt")"

# Metadata and desktop entry.
metainfo=$root/usr/share/metainfo/example.korvane.snipwave.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" || fail "no release $version"
launched=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$root/usr/share/applications/$launched" ] || fail "the metadata launches $launched, not in the package"
desktop-file-validate "$root/usr/share/applications/snipwave.desktop" || fail "desktop-file-validate"

# Manual pages: rendered without a warning; every command and option the tool's help
# names has an entry (a tagged paragraph) in its page; the sections asked of both.
for page in snipwave snipwave-cli; do
  file=$root/usr/share/man/man1/$page.1.gz
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" >"$tmp/$page.txt" 2>"$tmp/$page.err" ||
    fail "man -l $page"
  [ ! -s "$tmp/$page.err" ] || { cat "$tmp/$page.err"; fail "man -l $page warns"; }
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" ENVIRONMENT FILES; do
    grep -q "^$section\$" "$tmp/$page.txt" || fail "$page(1) has no $section"
  done
  grep -q SDL_AUDIODRIVER "$tmp/$page.txt" || fail "$page(1) does not name SDL_AUDIODRIVER"
done
source=$(zcat "$root/usr/share/man/man1/snipwave-cli.1.gz")
tags=$(grep -A1 '^\.TP' <<<"$source")
commands=$("$root/usr/bin/snipwave-cli" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
[ "$(echo "$commands" | wc -w)" -ge 5 ] || fail "no commands in snipwave-cli --help"
for command in $commands; do
  grep -q "^\\\\fB$command\\\\fR" <<<"$tags" || fail "snipwave-cli(1) has no entry for $command"
  [ "$command" != help ] || continue
  usage=$("$root/usr/bin/snipwave-cli" help "$command") || fail "snipwave-cli help $command"
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$usage" | sort -u); do
    grep -qE "^\.B[IR]? ${option//-/\\\\-}( |\$)" <<<"$tags" || fail "snipwave-cli(1) has no entry for $command $option"
  done
done
grep -q "Log/log1.txt" "$tmp/snipwave.txt" || fail "snipwave(1) does not name the run log"

# The window, as a user who cannot write to the program's folder (root writes anywhere:
# it runs as nobody), finds its pictures there and keeps its run log in the per-user
# data folder.
chmod -R a-w "$root/usr/lib/snipwave"
work=$tmp/window
mkdir -p "$work/home" "$work/data"
cp "$src/tests/data/tagged.mp3" "$work/"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod a+rx "$tmp"
  chown -R nobody:nogroup "$work"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
# xvfb-run -a may hand out a display whose server from a run before is still going away.
cp "$0" "$work/window.sh"  # the sources may be out of the user's reach
for attempt in 1 2 3; do
  if "${as_user[@]}" env PACKAGE_WINDOW=1 ROOT="$root" WORK="$work" HOME="$work/home" XDG_DATA_HOME="$work/data" \
       xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/window.sh" "$@"; then
    break
  fi
  [ "$attempt" -lt 3 ] || fail "the window run failed"
  sleep 2
done
cp "$work/window.png" "$work/stderr.txt" "$out/"
echo "screenshot: $out/window.png"
[ ! -e "$root/usr/lib/snipwave/Log" ] || fail "a Log folder beside the installed program"
grep -q "File Name: $work/tagged.mp3" "$work/data/snipwave/Log/log1.txt" ||
  fail "no file information in the per-user run log $work/data/snipwave/Log/log1.txt"

# The pictures on the screen: each drawn at its place (design pixels from the window's
# client area under the menu bar; the arrow keeps its distance from the right edge)
# matches the file scaled there over the window's colour. An empty place differs by 0.2
# or more.
eval "$(cat "$work/geometry.txt")"
top=$((Y + HEIGHT - 389))
background=$(convert "$work/window.png" -format "%[pixel:p{$((X + 4)),$((top + 4))}]" info:)
while read -r picture x y size; do
  [ "$x" -ge 0 ] || x=$((WIDTH + x))
  convert "$work/window.png" -crop "${size}x${size}+$((X + x))+$((top + y))" +repage "$tmp/shown.png"
  convert "$src/res/pictures/$picture" -resize "${size}x${size}!" -background "$background" -flatten "$tmp/file.png"
  # compare's status says whether the images differ at all; its figure is what counts.
  error=$({ compare -metric RMSE "$tmp/shown.png" "$tmp/file.png" null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/')
  awk -v e="$error" 'BEGIN { exit !(e < 0.06) }' || fail "$picture is not shown at ($x, $y): difference $error"
done <<'EOF'
1.png 24 0 30
2.png 24 71 30
3.png 24 160 30
arr-right.png -18 160 16
EOF
echo "ok"
