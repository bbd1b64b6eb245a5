#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the small media files that the reading tests take apart, into fixtures/ beside this script.
# Needs ffmpeg, lame, flac, mkvmerge, dvdauthor and python3; the files it makes are kept in the repository,
# so the tests themselves need none of these tools. Every file is a few seconds of a tone or of a still picture.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/fixtures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out/music/album" "$out/music/compilation" "$out/music/formats" "$out/music/codepage" \
         "$out/bad" "$out/video" "$out/dvd/Kis film/VIDEO_TS" "$out/game/Aknakereső/adat"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
# Metadata is written as the tools were told, with no encoder tag that would change between versions.
quiet="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1"

# A three-second tone and a five-second one, the raw material of every track.
ff -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=3" -ac 1 "$work/tone3.wav"
ff -f lavfi -i "sine=frequency=660:sample_rate=22050:duration=5" -ac 1 "$work/tone5.wav"

# An album in ID3v2.4 (UTF-8) with an album artist; one track has no title, so its name comes from the file.
mp3() { lame --quiet -b 32 --id3v2-only --id3v2-utf16 "$@"; }
mp3 --tt "Őszi délután" --ta "Kispál és a Borz" --tl "Ágy, asztal, tévé" --tn 1 \
    --tv "TPE2=Kispál és a Borz" "$work/tone3.wav" "$out/music/album/01 Őszi délután.mp3"
mp3 --tt "Tűzoltó" --ta "Kispál és a Borz" --tl "Ágy, asztal, tévé" --tn 2 \
    --tv "TPE2=Kispál és a Borz" "$work/tone5.wav" "$out/music/album/02 Tűzoltó.mp3"
mp3 --ta "Kispál és a Borz" --tl "Ágy, asztal, tévé" --tn 3 \
    --tv "TPE2=Kispál és a Borz" "$work/tone3.wav" "$out/music/album/03 - Zsákutca.mp3"

# A compilation: one album, several artists, no album artist.
mp3 --tt "Első szám" --ta "Első Előadó" --tl "Nyári válogatás" "$work/tone3.wav" "$out/music/compilation/a.mp3"
mp3 --tt "Második szám" --ta "Második Előadó" --tl "Nyári válogatás" "$work/tone5.wav" \
    "$out/music/compilation/b.mp3"

# The other formats, one track each, of one album of one artist.
tags='-metadata title=Hajnal -metadata artist=Formátumok -metadata album=Minden'
ff -i "$work/tone3.wav" $quiet $tags -c:a flac "$out/music/formats/hajnal.flac"
ff -i "$work/tone3.wav" $quiet $tags -c:a libvorbis -b:a 48k "$out/music/formats/hajnal.ogg"
ff -i "$work/tone3.wav" $quiet $tags -c:a libopus -b:a 24k "$out/music/formats/hajnal.opus"
ff -i "$work/tone3.wav" $quiet $tags -c:a aac -b:a 32k "$out/music/formats/hajnal.m4a"
ff -i "$work/tone3.wav" $quiet $tags -c:a wmav2 -b:a 32k "$out/music/formats/hajnal.wma"
# The WAV muxer writes its INFO tags only when not asked for bit-exact output.
ffmpeg -hide_banner -loglevel error -y -i "$work/tone3.wav" -map_metadata -1 $tags -ar 8000 -c:a pcm_s16le \
    "$out/music/formats/hajnal.wav"
lame --quiet -b 32 "$work/tone3.wav" "$work/bare.mp3"

# Tags written byte by byte: ID3v1 and ID3v2.3 Latin-1 frames holding code page 1250 text, genuine Latin-1
# text that must stay as it is, ID3v2.2 and an APE tag.
python3 - "$work/bare.mp3" "$out/music" <<'PY'
import struct, sys
bare = open(sys.argv[1], 'rb').read()
out = sys.argv[2]

def id3v1(title, artist, album, track):
    pad = lambda b, n: b[:n].ljust(n, b'\0')
    return b'TAG' + pad(title, 30) + pad(artist, 30) + pad(album, 30) + b'2001' + pad(b'', 28) + bytes([0, track, 255])

def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])

def id3v23(frames):
    body = b''.join(k.encode() + struct.pack('>I', len(v) + 1) + b'\0\0' + b'\0' + v for k, v in frames)
    return b'ID3\x03\x00\x00' + syncsafe(len(body)) + body

def id3v22(frames):
    body = b''.join(k.encode() + struct.pack('>I', len(v) + 1)[1:] + b'\0' + v for k, v in frames)
    return b'ID3\x02\x00\x00' + syncsafe(len(body)) + body

def ape(items):
    body = b''
    for k, v in items:
        body += struct.pack('<II', len(v), 0) + k.encode() + b'\0' + v
    def block(flags):
        return b'APETAGEX' + struct.pack('<IIII', 2000, len(body) + 32, len(items), flags) + b'\0' * 8
    return block(0xA0000000) + body + block(0x80000000)

cp = lambda s: s.encode('cp1250')
open(out + '/codepage/id3v1.mp3', 'wb').write(
    bare + id3v1(cp('Őrült szerelem'), cp('Bikini'), cp('Közeli helyek'), 1))
open(out + '/codepage/id3v23.mp3', 'wb').write(
    id3v23([('TIT2', cp('Szűk utcák')), ('TPE1', cp('Bikini')), ('TALB', cp('Közeli helyek'))]) + bare)
open(out + '/codepage/latin1.mp3', 'wb').write(
    bare + id3v1('Canções'.encode('latin-1'), 'Dulce Pontes'.encode('latin-1'),
                 'Lágrimas e emoções'.encode('latin-1'), 1))
open(out + '/formats/id3v22.mp3', 'wb').write(
    id3v22([('TT2', b'Alkony'), ('TP1', b'Formatumok'), ('TAL', b'Regi')]) + bare)
open(out + '/formats/ape.mp3', 'wb').write(
    bare + ape([('Title', 'Délibáb'.encode()), ('Artist', 'Formátumok'.encode()), ('Album', 'APE'.encode())]))
PY

# Files that cannot be read: empty, text under an audio name, a cut FLAC.
: > "$out/bad/ures.mp3"
printf 'Ez nem zene, csak egy szöveg.\n' > "$out/bad/szoveg.mp3"
ff -i "$work/tone5.wav" $quiet -c:a flac "$work/whole.flac"
head -c 100 "$work/whole.flac" > "$out/bad/csonka.flac"

# Films: an MKV with a title, H.264 and Hungarian AC3; an MP4 with AAC in English; an AVI without a language.
ff -f lavfi -i "color=c=navy:s=320x240:d=2:r=10" -i "$work/tone3.wav" -t 2 $quiet -c:v libx264 -preset ultrafast \
   -c:a ac3 -b:a 64k -ac 2 -metadata title="Egy nyári film" -metadata:s:a:0 language=hun "$out/video/nyar.mkv"
ff -f lavfi -i "color=c=green:s=640x360:d=2:r=10" -i "$work/tone3.wav" -t 2 $quiet -c:v libx264 -preset ultrafast \
   -c:a aac -b:a 32k -metadata:s:a:0 language=eng "$out/video/klipp.mp4"
ff -f lavfi -i "color=c=red:s=176x144:d=2:r=10" -i "$work/tone3.wav" -t 2 $quiet -c:v mpeg4 -c:a libmp3lame \
   -b:a 32k "$out/video/regi.avi"

# A DVD: a small MPEG-2 programme stream with a Hungarian and an English AC3 track and a subtitle declared.
ff -f lavfi -i "color=c=black:s=352x288:d=3:r=25" -i "$work/tone3.wav" -i "$work/tone3.wav" -t 3 $quiet \
   -map 0:v -map 1:a -map 2:a -c:v mpeg2video -b:v 100k -c:a ac3 -b:a 64k -ar 48000 -ac:a:0 6 -ac:a:1 2 \
   -f dvd "$work/film.mpg"
cat > "$work/dvd.xml" <<XML
<dvdauthor dest="$work/dvd">
  <vmgm />
  <titleset>
    <titles>
      <video format="pal" />
      <audio lang="hu" />
      <audio lang="en" />
      <subpicture lang="hu" />
      <pgc><vob file="$work/film.mpg" /></pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x "$work/dvd.xml" >/dev/null 2>&1
cp "$work/dvd/VIDEO_TS/"*.IFO "$work/dvd/VIDEO_TS/"*.BUP "$work/dvd/VIDEO_TS/"*.VOB "$out/dvd/Kis film/VIDEO_TS/"

# A game: a folder of a few files of known sizes.
head -c 30000 /dev/zero > "$out/game/Aknakereső/jatek.exe"
head -c 5000 /dev/zero > "$out/game/Aknakereső/adat/palya.dat"
