#!/usr/bin/env bash
# The tool must run on a plain Windows: it may import only system DLLs.
exe="$1"
objdump=x86_64-w64-mingw32-objdump
imports=$($objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
echo "imports: $(echo $imports)"
odd=$(echo "$imports" | grep -viE '^(kernel32|user32|gdi32|ole32|oleaut32|advapi32|shell32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$')
if [ -n "$odd" ]; then
  echo "not a system DLL: $odd"
  exit 1
fi
subsystem=$($objdump -p "$exe" | sed -n 's/^Subsystem[[:space:]]*\([0-9a-f]*\).*/\1/p')
[ "$subsystem" = "00000003" ] || { echo "not a console program (subsystem $subsystem)"; exit 1; }
$objdump -f "$exe" | grep -q 'file format pei-x86-64' || { echo "not x86-64"; exit 1; }
echo "1 passed, 0 failed"
