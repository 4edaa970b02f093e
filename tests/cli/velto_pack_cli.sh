#!/usr/bin/env bash
# velto-pack end to end, as a user runs it: "$@" is the command (velto-pack, or wine velto-pack.exe).
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 COMMAND..." >&2
  exit 2
fi
VP=("$@")
PASSED=0
FAILED=0

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
# Relative paths only: they mean the same natively and under Wine.
export TZ=Europe/Berlin
unset SOURCE_DATE_EPOCH

# run ARGS...: runs velto-pack; sets RC, OUT and ERR (carriage returns dropped).
run() {
  "${VP[@]}" "$@" >out.txt 2>err.txt
  RC=$?
  OUT=$(tr -d '\r' <out.txt)
  ERR=$(tr -d '\r' <err.txt)
}

# check WHAT TEST...: counts one outcome; on failure shows what the command said.
check() {
  local what=$1
  shift
  if "$@"; then
    PASSED=$((PASSED + 1))
  else
    FAILED=$((FAILED + 1))
    echo "FAIL: $what"
    echo "  exit $RC; stdout: ${OUT:0:400}"
    echo "  stderr: ${ERR:0:600}"
  fi
}

has() { case "$1" in *"$2"*) return 0 ;; *) return 1 ;; esac; }
lacks() { ! has "$1" "$2"; }
mtime() { stat -c %Y "$1"; }
# No archive and no temporary file beside it.
nothing_left() { [ -z "$(ls -A | grep -E '^(a\.tmp|b\.tmp)' || true)" ]; }

# Bytes of a small archive by hand: le16 N, le32 N print little-endian bytes.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }
name() { le16 ${#1}; printf '%s' "$1"; }
# The entry for "abc" dated 1995-12-24 12:30:30: header and flag 07 with three literals.
abc_entry() {
  le32 $((0x00137457)); le32 15; le32 30; le32 12; le32 24; le32 12; le32 15; le32 3; le32 4
  printf '\x07abc'
}

# --- help, version, usage ------------------------------------------------

run --help
check "--help exits 0" [ "$RC" = 0 ]
for word in create list extract test -q --no-installer -C SOURCE_DATE_EPOCH "Exit status" INSTALL.EXE; do
  check "--help explains $word" has "$OUT" "$word"
done
check "--help writes nothing to stderr" [ -z "$ERR" ]

run --version
check "--version exits 0 and names the tool" eval '[ "$RC" = 0 ] && has "$OUT" "velto-pack "'

# Each row: arguments that are bad usage.
usage_rows=(
  ""                          # no command at all
  "pack a.tmp x"              # an unknown command
  "list"                      # no archive
  "create a.tmp"              # nothing to pack
  "list a.tmp extra"          # an operand too many
  "test a.tmp --frobnicate"   # an unknown option
  "create a.tmp x -C out"     # -C belongs to extract
  "list a.tmp --no-installer" # --no-installer belongs to create
  "extract a.tmp -C"          # -C without its folder
  "--version extra"           # --version takes nothing
)
for row in "${usage_rows[@]}"; do
  # shellcheck disable=SC2086
  run $row
  check "bad usage '$row' exits 2 with the usage on stderr" \
    eval '[ "$RC" = 2 ] && has "$ERR" "velto-pack: " && has "$ERR" "usage:" && [ -z "$OUT" ]'
done

# --- round trip ----------------------------------------------------------

mkdir in out
printf 'MZ probe installer' >in/INSTALL.EXE
: >in/EMPTY.TXT
head -c 70000 /dev/urandom >in/DATA.BIN
seq 1 30000 >>in/DATA.BIN # past 64 KiB, partly compressible
seq 1 20000 >in/numbers.txt
mkdir in/subfolder
echo "not packed" >in/subfolder/inner.txt
touch -d '2001-07-15 10:20:30' in/numbers.txt  # summer time
touch -d '2002-01-10 08:00:00' in/DATA.BIN     # winter time
touch -d '1999-12-31 23:59:58' in/EMPTY.TXT
touch -d '2010-05-01 12:00:00' in/INSTALL.EXE

run create -q a.tmp in
check "create packs a folder" eval '[ "$RC" = 0 ] && [ -f a.tmp ] && [ -z "$ERR" ]'
check "create leaves no temporary file" eval '[ "$(ls -A | grep -c "^a\.tmp")" = 1 ]'

run list a.tmp
check "list exits 0" [ "$RC" = 0 ]
check "list shows one line per regular file, sorted by name" \
  [ "$(printf '%s\n' "$OUT" | awk '{print $1}' | tr '\n' ' ')" = "DATA.BIN EMPTY.TXT INSTALL.EXE numbers.txt " ]
check "list shows sizes" \
  eval 'has "$OUT" "$(printf "%-12s %10s" numbers.txt "$(stat -c %s in/numbers.txt)")"'
check "list shows the packed size of an empty file as 0" \
  eval 'printf "%s\n" "$OUT" | grep -q "^EMPTY.TXT  *0  *0  1999-12-31 23:59:58$"'
check "list shows the local date and time" has "$OUT" "2001-07-15 10:20:30"

run test a.tmp
check "test of a sound archive exits 0" eval '[ "$RC" = 0 ] && has "$OUT" "4 entries" && [ -z "$ERR" ]'

run extract a.tmp -C out -q
check "extract exits 0" eval '[ "$RC" = 0 ] && [ -z "$ERR" ]'
for f in INSTALL.EXE EMPTY.TXT DATA.BIN numbers.txt; do
  check "extract gives back $f byte for byte" cmp -s "in/$f" "out/$f"
  check "extract restores the time of $f" [ "$(mtime "in/$f")" = "$(mtime "out/$f")" ]
done
check "extract writes nothing else" [ "$(ls -A out | tr '\n' ' ')" = "DATA.BIN EMPTY.TXT INSTALL.EXE numbers.txt " ]

# Options may stand before the archive; extract into the current folder by default.
mkdir here
(cd here && "${VP[@]}" extract -q ../a.tmp >/dev/null 2>&1)
check "extract without -C unpacks into the current folder" cmp -s in/DATA.BIN here/DATA.BIN

# An existing file is replaced.
echo "old content that is longer than the installer" >out/INSTALL.EXE
run extract -C out a.tmp
check "extract replaces an existing file" eval '[ "$RC" = 0 ] && cmp -s in/INSTALL.EXE out/INSTALL.EXE'

# A file large enough to be coded on several threads (from 2 MiB on; this one
# makes a 4 MiB segment and one of about 6 MiB) and written while it is decoded.
mkdir big bigout
{ seq 1 400000; head -c 3000000 /dev/urandom; seq 1 600000; } >big/LARGE.BIN
run create -q big.tmp big --no-installer
check "create packs a file of several segments" eval '[ "$RC" = 0 ] && [ -z "$ERR" ]'
run extract -q big.tmp -C bigout
check "a file coded on several threads comes back byte for byte" \
  eval '[ "$RC" = 0 ] && cmp -s big/LARGE.BIN bigout/LARGE.BIN'

# Files named one by one: the entry name is the base name.
run create b.tmp in/numbers.txt in/INSTALL.EXE
run list b.tmp
check "create takes files by their base names, in the order given" \
  [ "$(printf '%s\n' "$OUT" | awk '{print $1}' | tr '\n' ' ')" = "numbers.txt INSTALL.EXE " ]
rm -f b.tmp

# --- refusals: nothing written -------------------------------------------

rm -f a.tmp
mkdir -p ok
printf 'MZ' >ok/INSTALL.EXE

# Each row: files to make in folder bad/ (beside ok/INSTALL.EXE), and the stable part of the message.
refusal_rows=(
  "CON|reserved device name"
  "aux.txt|reserved device name"
  "Lpt1.log|reserved device name"
)
if [ "${VP[0]##*/}" = velto-pack ]; then
  # Names the Unix side can hold but Windows cannot; under Wine they are not seen as such.
  refusal_rows+=(
    'a\b|separator'      # a Windows separator inside one Unix name
    "a:b|separator"      # a drive colon
    "name.|ends in a dot or space"
    "tab$(printf '\t')x|control character"
  )
fi
for row in "${refusal_rows[@]}"; do
  file=${row%%|*}
  message=${row#*|}
  rm -rf bad && mkdir bad && : >"bad/$file"
  run create a.tmp ok bad
  check "create refuses the name '$file' with exit 2" eval '[ "$RC" = 2 ] && has "$ERR" "$message"'
  check "create writes nothing for the name '$file'" nothing_left
done

rm -rf bad && mkdir bad && printf x >bad/install.exe
run create a.tmp ok bad
check "create refuses two names that differ only in case" \
  eval '[ "$RC" = 2 ] && has "$ERR" "differing only in case" && nothing_left'

rm -rf bad && mkdir bad && printf x >bad/readme.txt
run create a.tmp bad
check "create refuses an archive without INSTALL.EXE" \
  eval '[ "$RC" = 2 ] && has "$ERR" "no entry named INSTALL.EXE" && nothing_left'
run create a.tmp --no-installer bad
check "--no-installer packs without INSTALL.EXE" eval '[ "$RC" = 0 ] && [ -f a.tmp ]'
rm -f a.tmp

# Sizes around the largest entry: n bytes of incompressible data take
# n + ceil(n / 8) token bytes, which must fit packedSize's 32 bits.
for size in 4G 3817748707; do
  rm -rf bad && mkdir bad && truncate -s $size bad/huge.bin
  run create a.tmp ok bad
  check "create refuses a file of $size bytes" \
    eval '[ "$RC" = 2 ] && has "$ERR" "the most one entry can hold" && nothing_left'
done

rm -rf bad && mkdir bad && (cd bad && seq -f 'f%05g' 1 32768 | xargs touch)
run create a.tmp --no-installer bad
check "create refuses more than 32767 entries" \
  eval '[ "$RC" = 2 ] && has "$ERR" "too many entries: 32768" && nothing_left'
rm -rf bad

run create a.tmp ok missing.bin
check "create of a missing file is an I/O error" \
  eval '[ "$RC" = 1 ] && has "$ERR" "velto-pack: missing.bin: " && nothing_left'

rm -rf bad && mkdir bad && printf '[x]' >bad/install.ini
run create a.tmp ok bad
check "create warns about Install.ini and packs it" \
  eval '[ "$RC" = 0 ] && has "$ERR" "warning" && has "$ERR" "Install.ini"'
rm -rf a.tmp bad

# --- times ---------------------------------------------------------------

mkdir times && printf 'MZ' >times/INSTALL.EXE
printf old >times/old.txt && touch -d '1975-06-01 12:00:00' times/old.txt
printf new >times/new.txt && touch -d '2110-01-01 00:00:00' times/new.txt
run create a.tmp times
check "create warns about times outside 1980..2107" \
  eval '[ "$RC" = 0 ] && has "$ERR" "old.txt: warning" && has "$ERR" "new.txt: warning" && has "$ERR" "1980..2107"'
run list a.tmp
check "times before 1980 are stored as 1980-01-01" has "$OUT" "1980-01-01 00:00:00"
check "times after 2107 are stored as 2107-12-31 23:59:58" has "$OUT" "2107-12-31 23:59:58"
rm -rf a.tmp times

# SOURCE_DATE_EPOCH: no time later than it, and the same bytes every time.
export SOURCE_DATE_EPOCH=978307200 # 2001-01-01 00:00:00 UTC, 01:00:00 in Berlin
run create a.tmp in
cp a.tmp first.tmp
touch in/INSTALL.EXE in/DATA.BIN # newer still: the epoch wins
run create a.tmp in
check "two creates with SOURCE_DATE_EPOCH give identical bytes" cmp -s a.tmp first.tmp
run list a.tmp
check "SOURCE_DATE_EPOCH caps the newer files' times" \
  eval 'printf "%s\n" "$OUT" | grep -q "^INSTALL.EXE .*2001-01-01 01:00:00$"'
check "SOURCE_DATE_EPOCH leaves older files' times alone" has "$OUT" "1999-12-31 23:59:58"
export SOURCE_DATE_EPOCH=yesterday
run create b.tmp in
check "a SOURCE_DATE_EPOCH that is not a number is refused" \
  eval '[ "$RC" = 2 ] && has "$ERR" "SOURCE_DATE_EPOCH" && [ ! -f b.tmp ]'
unset SOURCE_DATE_EPOCH
rm -f first.tmp

# --- hostile and damaged archives ----------------------------------------

size=$(stat -c %s a.tmp)
# Each row: bytes kept, and the stable part of test's message.
cut_rows=(
  "0|cut short at byte 0"
  "1|cut short at byte 1"
  "2|entry count is 4 but only 0 entries are present"
  "3|entry 1: cut short at byte 3"
  "10|entry 1 (DATA.B): cut short at byte 10 (in the name)"
  "30|entry 1 (DATA.BIN): cut short at byte 30 (in the entry header)"
  "5000|entry 1 (DATA.BIN): cut short at byte 5000"
  "$((size - 1))|entry 4 (numbers.txt): cut short at byte $((size - 1))"
)
for row in "${cut_rows[@]}"; do
  keep=${row%%|*}
  message=${row#*|}
  head -c "$keep" a.tmp >cut.tmp
  run test cut.tmp
  check "test of an archive cut at byte $keep exits 1 naming the place" \
    eval '[ "$RC" = 1 ] && has "$ERR" "velto-pack: cut.tmp: $message"'
  run list cut.tmp
  check "list of an archive cut at byte $keep exits 1" eval '[ "$RC" = 1 ] && has "$ERR" "cut.tmp: "'
  rm -rf cutout && mkdir cutout
  run extract cut.tmp -C cutout
  check "extract of an archive cut at byte $keep exits 1 and leaves no partial file" \
    eval '[ "$RC" = 1 ] && [ -z "$(ls -A cutout | grep -v -x -e EMPTY.TXT -e INSTALL.EXE -e DATA.BIN)" ]'
done
check "an archive cut in its last entry still gives the entries before it" cmp -s in/INSTALL.EXE cutout/INSTALL.EXE

{ le16 1; name A.TXT; abc_entry; } >one.tmp
run extract one.tmp -C out
check "a hand-made entry extracts" eval '[ "$RC" = 0 ] && [ "$(cat out/A.TXT)" = abc ]'
check "a hand-made entry gets its time back" [ "$(date -r out/A.TXT '+%Y-%m-%d %H:%M:%S')" = "1995-12-24 12:30:30" ]

{ le16 1; name A.TXT; abc_entry | sed 's/^W/X/'; } >bad.tmp
run test bad.tmp
check "a wrong magic is an error at its offset" \
  eval '[ "$RC" = 1 ] && has "$ERR" "velto-pack: bad.tmp: entry 1 (A.TXT): wrong magic at byte 9"'

{ le16 32767; name A.TXT; abc_entry; } >bad.tmp
run test bad.tmp
check "a huge count is an error naming the end" \
  eval '[ "$RC" = 1 ] && has "$ERR" "entry count is 32767 but only 1 entries are present: the archive ends at byte 49"'

{ le16 65535; name A.TXT; abc_entry; } >bad.tmp
run list bad.tmp
check "a negative count means no entries" eval '[ "$RC" = 0 ] && [ -z "$OUT" ]'
run test bad.tmp
check "test of a negative count passes, warning about the bytes it ignores" \
  eval '[ "$RC" = 0 ] && has "$ERR" "47 bytes after the last entry"'

{ le16 2; name A.TXT; abc_entry | head -c 28; le32 5; le32 4; printf '\x07abc'; name B.TXT; abc_entry; } >bad.tmp
rm -rf sz && mkdir sz
run extract bad.tmp -C sz
check "sizes that do not match are an error for that entry only" \
  eval '[ "$RC" = 1 ] && has "$ERR" "entry 1 (A.TXT): sizes do not match" && [ ! -e sz/A.TXT ] && [ -f sz/B.TXT ]'

# Unsafe names: reported, skipped correctly, never written outside the folder.
mkdir -p jail/inside
{ le16 5; name '..\x'; abc_entry; name ../evil; abc_entry; name CON; abc_entry; name ""; abc_entry; name good.txt; abc_entry; } >unsafe.tmp
run extract unsafe.tmp -C jail/inside
check "extract refuses unsafe names, exit 1" \
  eval '[ "$RC" = 1 ] && has "$ERR" "entry 1 (..\\x): unsafe name" && has "$ERR" "entry 2 (../evil): unsafe name" && has "$ERR" "entry 3 (CON): unsafe name" && has "$ERR" "entry 4 (): unsafe name"'
check "extract goes on after an unsafe name" eval '[ "$(cat jail/inside/good.txt)" = abc ]'
check "extract writes nothing outside its folder" \
  eval '[ "$(find jail -type f | sort | tr "\n" " ")" = "jail/inside/good.txt " ] && [ ! -e x ] && [ ! -e evil ]'
run test unsafe.tmp
check "test reports unsafe names" eval '[ "$RC" = 1 ] && has "$ERR" "unsafe name"'

{ le16 1; le16 3; printf 'A\033['; abc_entry; } >bad.tmp
run test bad.tmp
check "control characters in names are shown escaped" has "$ERR" '(A\x1B[)'

run list nonexistent.tmp
check "a missing archive is an I/O error" eval '[ "$RC" = 1 ] && has "$ERR" "velto-pack: nonexistent.tmp: cannot open"'

run extract one.tmp -C no/such/folder
check "extract into a missing folder is an error" eval '[ "$RC" = 1 ] && has "$ERR" "no/such/folder"'

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
