#!/usr/bin/env bash
# Reads setup.exe's PE headers: 32-bit GUI program, system DLLs only, WndProc exported by name, the icon resource.
# BITS is 32 for the real program, 64 for the 64-bit test build of the same sources.
set -eu
objdump=$1
exe=$2
bits=${3:-32}
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$exe" >"$dump"

passed=0
failed=0
check() {  # check WHAT CONDITION-COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok   $what"
  else
    failed=$((failed + 1))
    echo "FAIL $what"
  fi
}

imports=$(sed -n 's/^\s*DLL Name: //p' "$dump" | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')
echo "imports: $imports"
echo "exports: $exports"

if [ "$bits" = 32 ]; then
  check "PE32, 32-bit" grep -q 'Magic.*010b.*(PE32)' "$dump"
  check "i386 machine" bash -c "\"$objdump\" -f '$exe' | grep -q 'architecture: i386'"
else
  check "PE32+, 64-bit" grep -q 'Magic.*020b.*(PE32+)' "$dump"
fi
check "GUI subsystem" grep -q 'Subsystem.*(Windows GUI)' "$dump"
check "imports only KERNEL32, USER32, GDI32 and MSVCRT" \
  test "$imports" = "GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL "
check "exports exactly WndProc, undecorated" test "$exports" = "WndProc "
# The resource name is stored in UTF-16; grep for its ASCII letters spaced by zero bytes.
check "icon resource IDI_SDIAPPLICATION" \
  bash -c "LC_ALL=C grep -c -a -P 'I\x00D\x00I\x00_\x00S\x00D\x00I\x00A\x00P\x00P\x00L\x00I\x00C\x00A\x00T\x00I\x00O\x00N\x00' '$exe' >/dev/null"
check "SetDefaultDllDirectories is not imported statically, so systems without it still start" \
  bash -c "! grep -q 'SetDefaultDllDirectories' <<<\"\$(sed -n '/DLL Name: KERNEL32/,/DLL Name/p' '$dump')\""

echo "$passed passed, $failed failed"
test "$failed" -eq 0
