#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets (corpus/, and corpus-long/ for the few inputs too
# slow to fuzz with): small archives made by velto-pack and the byte
# vectors of the unit tests. Usage: tests/fuzz/make_corpus.sh VELTO-PACK
set -eu
pack=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

put() { printf "$2" >"$corpus/$1"; }  # put TARGET/NAME 'printf-escaped bytes'

# An entry header: magic, 1995-12-24 12:30:30, unpackedSize $1, packedSize $2 (small values).
header() {
  printf '\\x57\\x74\\x13\\x00\\x0f\\0\\0\\0\\x1e\\0\\0\\0\\x0c\\0\\0\\0\\x18\\0\\0\\0\\x0c\\0\\0\\0\\x0f\\0\\0\\0'
  printf '\\x%02x\\0\\0\\0\\x%02x\\0\\0\\0' "$1" "$2"
}

# ---- decode: the first byte chooses the mode (0: the entry as it stands; 1: a token stream
# under a made header; 2: sizes that do not fit; 3: two copies of an entry).
put decode/worked-example "\\x00$(header 3 4)\\x07abc"
put decode/three-spaces "\\x00$(header 3 3)\\x00\\xed\\xf0"
put decode/ten-a "\\x00$(header 10 4)\\x01\\x61\\xee\\xf6"
put decode/cut-after-magic '\x00\x57\x74\x13\x00'
put decode/empty-entry "\\x00$(header 0 0)"
put decode/tokens-nine-letters '\x01\xffabcdefgh\x01i'
put decode/tokens-forty-a '\x01\x01a\xee\xff\x00\x0f\x04\x00'
put decode/tokens-beyond '\x06\x07abc'
put decode/two-entries '\x03\x01a\xee\xf6'
# Repeated 40 times under a made header: past the decoder's 64 KiB token block and output window.
# Slow to run (a tenth of a second each), so only the native tests replay them, not libFuzzer.
long=$here/corpus-long
mkdir -p "$long/decode"
head -c 2040 /dev/urandom >"$work/tokens"
{ printf '\x3d'; cat "$work/tokens"; } >"$long/decode/long-stream"
{ printf '\x3d'; for i in $(seq 120); do printf '\x00'; for k in 1 2 3 4 5 6 7 8; do printf '\x00\xff'; done; done; } \
  >"$long/decode/long-references"

# ---- roundtrip: the first byte says how often the rest is repeated (low four bits, plus one).
put roundtrip/abc '\x00abc'
put roundtrip/abc-four-times '\x03abc'
put roundtrip/spaces '\x02   '
put roundtrip/text '\x0fthe codec, the ring, the match tree; the codec again. '
head -c 300 /dev/urandom >"$work/random"
{ printf '\x01'; cat "$work/random"; } >"$corpus/roundtrip/random"

# ---- prepare and pack: whole archives.
mkdir -p "$work/files"
printf 'MZ the installer %0200d' 0 >"$work/files/INSTALL.EXE"
printf 'Bitte zuerst lesen.\r\n' >"$work/files/README.TXT"
: >"$work/files/EMPTY.DAT"
export SOURCE_DATE_EPOCH=946684800 TZ=UTC
touch -d @946684800 "$work/files/"*
"$pack" create -q "$work/three.tmp" "$work/files" >/dev/null
"$pack" create -q --no-installer "$work/one.tmp" "$work/files/README.TXT" >/dev/null
"$pack" create -q --no-installer "$work/empty.tmp" "$work/files/EMPTY.DAT" >/dev/null
for target in prepare pack; do
  cp "$work/three.tmp" "$corpus/$target/three-entries"
  cp "$work/one.tmp" "$corpus/$target/one-entry"
  cp "$work/empty.tmp" "$corpus/$target/empty-entry"
  put $target/no-entries '\x00\x00'
  put $target/count-minus-one '\xff\xff'
  put $target/worked-example "\\x01\\x00\\x0b\\x00INSTALL.EXE$(header 3 4)\\x07abc"
  put $target/name-with-zero "\\x01\\x00\\x05\\x00AB\\x00CD$(header 3 4)\\x07abc"
  put $target/same-name-twice "\\x02\\x00\\x01\\x00A$(header 3 4)\\x07abc\\x01\\x00a$(header 10 4)\\x01\\x61\\xee\\xf6"
  put $target/bad-magic-second "\\x02\\x00\\x01\\x00A$(header 3 4)\\x07abc\\x01\\x00B\\x56$(header 3 4 | cut -c5-)\\x07abc"
  put $target/escape-up "\\x02\\x00\\x0e\\x00..\\\\..\\\\EVIL.TXT$(header 3 4)\\x07abc\\x03\\x00SUB$(header 3 4)\\x07abc"
  put $target/escape-drive "\\x01\\x00\\x0b\\x00C:\\\\EVIL.TXT$(header 3 4)\\x07abc"
  put $target/device-name "\\x01\\x00\\x08\\x00con .txt$(header 3 4)\\x07abc"
  put $target/name-length-zero "\\x01\\x00\\x00\\x00$(header 3 4)\\x07abc"
done
echo "corpus written under $corpus"
