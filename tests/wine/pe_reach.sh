#!/usr/bin/env bash
# The Windows the release reaches: each PE file given (by default dist/'s
# kestrin.exe and BWCC32.DLL) has subsystem and OS versions 4.0 in its
# header and imports only DLL!function pairs of the allowlist, all of which
# exist on Windows 95 (with msvcrt) and NT 4; together they are at most
# max_bytes long.
# Usage: pe_reach.sh ALLOWLIST [FILE...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
allow=$1; shift
[ $# -gt 0 ] || set -- "$here/../../dist/kestrin.exe" "$here/../../dist/BWCC32.DLL"
objdump=$(command -v i686-w64-mingw32-objdump) || { echo "no i686-w64-mingw32-objdump" >&2; exit 1; }
max_bytes=153600
status=0 total=0 names=
fail() { echo "pe_reach: FAIL: $*" >&2; status=1; }

for file in "$@"; do
  [ -f "$file" ] || { fail "no file $file"; continue; }
  name=$(basename "$file")
  header=$("$objdump" -p "$file")
  for field in MajorOSystemVersion MajorSubsystemVersion; do
    value=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$header")
    [ "$value" = 4 ] || fail "$name: $field is '$value', want 4"
  done
  for field in MinorOSystemVersion MinorSubsystemVersion; do
    value=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$header")
    [ "$value" = 0 ] || fail "$name: $field is '$value', want 0"
  done
  # The import tables: "DLL Name: X" opens a DLL's list of "hint name" rows.
  imports=$(awk '
    /^\tDLL Name: / { dll = toupper($3); next }
    /^\t[ \t]*vma:/ { next }
    dll != "" && NF == 0 { dll = ""; next }
    dll != "" && NF >= 3 && $1 ~ /^[0-9a-f]+$/ { print dll "!" $NF }' <<<"$header" | sort -u)
  [ -n "$imports" ] || fail "$name: no imports found"
  outside=$(comm -23 <(printf '%s\n' "$imports") <(grep -v '^#' "$allow" | sed '/^$/d' | sort -u))
  [ -z "$outside" ] || fail "$name imports what the oldest Windows lacks (or the allowlist does not hold yet):
$outside"
  echo "pe_reach: $name: 4.0, $(wc -l <<<"$imports") imports within the allowlist"
  total=$((total + $(stat -c %s "$file"))) names="$names $name"
done
if [ "$total" -gt "$max_bytes" ]; then
  fail "together$names are $total bytes, more than $max_bytes"
else
  echo "pe_reach: together$names are $total bytes, at most $max_bytes"
fi
exit "$status"
