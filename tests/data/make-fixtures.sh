#!/usr/bin/env bash
# Regenerates the small MP3 fixtures in this folder.
#
# Needs: sox, lame (Debian packages of the same names) and python3.
# The tests only read the generated files; they never run this script.
#
# Output is repeatable: sox runs with -R (fixed random seed for noise) and
# -D (no dither), and lame uses fixed settings. Files are byte-identical when
# re-run with the same tool versions (made with SoX 14.4.2 and LAME 3.100);
# other versions may give different bytes (then README.md needs updating);
# the checks at the end of this script must pass either way.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$here/.work"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

for tool in sox lame python3; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done

# sox: repeatable, no dither, 16-bit PCM output.
gen() { sox -R -D "$@"; }
# lame: quiet, and no ReplayGain analysis (keeps the LAME tag simple).
enc() { lame --quiet --noreplaygain "$@"; }

# --- tagged.mp3 --------------------------------------------------------------
# 12 s stereo 44.1 kHz. Left: sine sweeping linearly 220 -> 880 Hz
# (f = 220 + 55*t Hz). Right: 440 Hz sine with 0.25 Hz tremolo (50 % depth).
# Both channels peak at -6 dBFS.
gen -n -r 44100 -c 1 -b 16 "$work/tagged-l.wav" synth 12 sine 220:880 gain -n -6
gen -n -r 44100 -c 1 -b 16 "$work/tagged-r.wav" synth 12 sine 440 tremolo 0.25 50 gain -n -6
gen -M "$work/tagged-l.wav" "$work/tagged-r.wav" "$work/tagged.wav"
enc -b 128 --add-id3v2 --id3v2-latin1 \
    --tt "Snip Test Tone" --ta "Korvane Lab" --tl "Fixtures" --ty 2024 \
    --tn 3/12 --tg "Electronic" --tc "Korvane fixture" \
    "$work/tagged.wav" "$here/tagged.mp3"

# --- truncated.mp3: first 20000 bytes of tagged.mp3 (ends inside a frame) ---
head -c 20000 "$here/tagged.mp3" > "$here/truncated.mp3"

# --- mono-vbr.mp3 ------------------------------------------------------------
# 4 s mono 22.05 kHz: sine sweeping linearly 300 -> 1200 Hz, then the second
# half has quiet pink noise added so the VBR bit rate moves. Xing header kept.
gen -n -r 22050 -c 1 -b 16 "$work/mono-tone.wav" synth 4 sine 300:1200 gain -n -8
gen -n -r 22050 -c 1 -b 16 "$work/mono-noise.wav" synth 2 pinknoise gain -n -20 pad 2 0
gen -m "$work/mono-tone.wav" "$work/mono-noise.wav" "$work/mono.wav" gain -n -6
enc -V 4 "$work/mono.wav" "$here/mono-vbr.mp3"

# --- vbr-noheader.mp3 --------------------------------------------------------
# 24 s stereo 44.1 kHz: 12 s of digital silence, then 12 s of white noise at
# -12 dBFS peak. VBR, written without the Xing/Info (LAME) header (-t), so the
# first frame is a 32 kbit/s silent frame while the noise frames are far larger.
gen -n -r 44100 -c 2 -b 16 "$work/silence.wav" trim 0 12
gen -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 12 whitenoise gain -n -12
gen "$work/silence.wav" "$work/noise.wav" "$work/vbr.wav"
enc -V 2 -t "$work/vbr.wav" "$here/vbr-noheader.mp3"

# --- notags-48k.mp3 ----------------------------------------------------------
# 3 s stereo 48 kHz, 128 kbit/s CBR, Info header, no tag options => no ID3 tag.
# Left: 1000 Hz sine, right: 500 Hz sine, both -6 dBFS peak.
gen -n -r 48000 -c 2 -b 16 "$work/48k.wav" synth 3 sine 1000 sine 500 gain -n -6
enc -b 128 "$work/48k.wav" "$here/notags-48k.mp3"

# --- cover.png / cover.mp3 ---------------------------------------------------
# A 32x32 RGB gradient PNG (180 bytes), embedded by lame as APIC (lame
# writes picture type 0, "Other").
python3 - "$here/cover.png" <<'PY'
import struct, sys, zlib
w = h = 32
# Filter type 1 (Sub) per row: the first pixel, then a constant step of +8
# red per pixel, which compresses to a tiny file.
raw = b''.join(b'\x01' + bytes((0, y * 8, 128)) + bytes((8, 0, 0)) * (w - 1)
               for y in range(h))
def chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data
            + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
png = (b'\x89PNG\r\n\x1a\n'
       + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
       + chunk(b'IDAT', zlib.compress(raw, 9))
       + chunk(b'IEND', b''))
open(sys.argv[1], 'wb').write(png)
PY
# 2 s mono 44.1 kHz, 64 kbit/s CBR, 660 Hz sine at -6 dBFS, ID3v2 only.
gen -n -r 44100 -c 1 -b 16 "$work/cover.wav" synth 2 sine 660 gain -n -6
enc -b 64 --id3v2-only --tt "Cover Test" --ti "$here/cover.png" \
    "$work/cover.wav" "$here/cover.mp3"

# --- crc-8k.mp3 ----------------------------------------------------------------
# 3 s stereo 8 kHz (MPEG-2.5), 16 kbit/s CBR, every frame CRC-protected (-p). LAME
# writes no Info header with CRCs on. Left: sine 300 -> 900 Hz, right: 500 Hz.
gen -n -r 8000 -c 2 -b 16 "$work/crc.wav" synth 3 sine 300:900 sine 500 gain -n -6
enc -p -b 16 "$work/crc.wav" "$here/crc-8k.mp3"

# --- lowrate-16k.mp3 -------------------------------------------------------------
# 8 s mono 16 kHz (MPEG-2), VBR at the lowest quality (-V 9) with a Xing header: small
# frames whose bit reservoir reaches back over several of them. Sine 200 -> 2000 Hz
# with pink noise.
gen -n -r 16000 -c 1 -b 16 "$work/low-tone.wav" synth 8 sine 200:2000 gain -n -8
gen -n -r 16000 -c 1 -b 16 "$work/low-noise.wav" synth 8 pinknoise gain -n -14
gen -m "$work/low-tone.wav" "$work/low-noise.wav" "$work/low.wav" gain -n -6
enc -V 9 --resample 16 "$work/low.wav" "$here/lowrate-16k.mp3"

# --- free-format.mp3 -------------------------------------------------------------
# 2 s stereo 44.1 kHz at 100 kbit/s, a rate with no bit-rate index: free format (every
# header's bit-rate index is 0), with an Info header. Left 330 Hz, right 550 Hz.
gen -n -r 44100 -c 2 -b 16 "$work/free.wav" synth 2 sine 330 sine 550 gain -n -6
enc --freeformat -b 100 "$work/free.wav" "$here/free-format.mp3"

# --- free-lowrate.mp3 --------------------------------------------------------------
# 3 s mono 24 kHz (MPEG-2), free format at 8 kbit/s: frames of 24 bytes with 11 bytes of
# main data each, whose bit reservoir reaches back over many of them. No Info header
# (it does not fit). Pink noise.
gen -n -r 24000 -c 1 -b 16 "$work/free-low.wav" synth 3 pinknoise gain -n -6
enc --freeformat -b 8 -m m --resample 24 "$work/free-low.wav" "$here/free-lowrate.mp3"

# --- empty.mp3 and text.mp3 --------------------------------------------------
: > "$here/empty.mp3"
printf 'This is a plain text file, not MP3 audio.\nIt only has an .mp3 name.\n' \
    > "$here/text.mp3"

# --- checks ------------------------------------------------------------------
python3 - "$here" <<'PY'
import os, struct, sys
d = sys.argv[1]
BR1 = [0,32,40,48,56,64,80,96,112,128,160,192,224,256,320]
BR2 = [0,8,16,24,32,40,48,56,64,80,96,112,128,144,160]
SR = {3: [44100,48000,32000], 2: [22050,24000,16000], 0: [11025,12000,8000]}

def scan(name):
    b = open(os.path.join(d, name), 'rb').read()
    pos = 0
    if b[:3] == b'ID3':
        size = 0
        for x in b[6:10]:
            size = (size << 7) | x
        pos = 10 + size
    end = len(b) - (128 if b[-128:-125] == b'TAG' else 0)
    frames, partial, xing = [], None, None
    while pos + 4 <= end:
        h = struct.unpack('>I', b[pos:pos+4])[0]
        assert h >> 21 == 0x7ff, (name, pos)
        ver, bri, sri, pad = (h >> 19) & 3, (h >> 12) & 15, (h >> 10) & 3, (h >> 9) & 1
        mono = (h >> 6) & 3 == 3
        br = (BR1 if ver == 3 else BR2)[bri] * 1000
        sr = SR[ver][sri]
        spf = 1152 if ver == 3 else 576
        n = spf // 8 * br // sr + pad
        if pos + n > end:
            partial = pos
            break
        if not frames and xing is None:
            side = (17 if mono else 32) if ver == 3 else (9 if mono else 17)
            tag = b[pos+4+side:pos+8+side]
            if tag in (b'Xing', b'Info'):
                xing = tag
                pos += n
                continue
            xing = b''
        frames.append(br)
        pos += n
    return dict(data=b, frames=frames, partial=partial, xing=xing,
                sr=sr, spf=spf, mono=mono)

def check(cond, msg):
    if not cond:
        sys.exit('fixture check failed: ' + msg)
    print('ok:', msg)

t = scan('tagged.mp3')
check(t['data'][:3] == b'ID3' and t['xing'] == b'Info' and t['sr'] == 44100
      and not t['mono'] and set(t['frames']) == {128000},
      'tagged.mp3 ID3v2 + Info header, 44.1 kHz stereo 128k CBR')
tr = scan('truncated.mp3')
check(tr['partial'] is not None, 'truncated.mp3 ends inside a frame')
m = scan('mono-vbr.mp3')
check(m['xing'] == b'Xing' and m['mono'] and m['sr'] == 22050
      and len(set(m['frames'])) > 1, 'mono-vbr.mp3 mono 22.05 kHz VBR with Xing')
n = scan('notags-48k.mp3')
check(n['data'][:3] != b'ID3' and n['data'][-128:-125] != b'TAG'
      and n['data'][:2] == b'\xff\xfb' and n['sr'] == 48000,
      'notags-48k.mp3 has no ID3 tag, starts with a frame sync, 48 kHz')
c = scan('cover.mp3')
check(b'APIC' in c['data'][:2000] and c['data'][-128:-125] != b'TAG',
      'cover.mp3 has an APIC frame and no ID3v1')
v = scan('vbr-noheader.mp3')
real = len(v['frames']) * v['spf'] / v['sr']
est = len(v['data']) * 8 / v['frames'][0]
check(v['xing'] == b'' and v['data'][:2] == b'\xff\xfb',
      'vbr-noheader.mp3 has no Xing/Info header and no tag')
check(abs(est - real) / real >= 0.2,
      'vbr-noheader.mp3 first-frame estimate %.2f s vs real %.2f s (%+.0f %%)'
      % (est, real, 100 * (est - real) / real))
total = sum(os.path.getsize(os.path.join(d, f)) for f in os.listdir(d)
            if os.path.isfile(os.path.join(d, f)))
check(total < 2 * 1024 * 1024, 'folder size %d bytes < 2 MB' % total)
PY
