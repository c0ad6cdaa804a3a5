#!/usr/bin/env bash
# llvm-mca cycles per pixel of the inner loops of an aarch64 program that
# holds both our kernels and libyuv's rows (scripts/bench-aarch64.sh builds
# one): each loop is cut from the disassembly between its first instruction
# and its backward branch, as the compiler laid it out.
#
#   bash scripts/mca-aarch64.sh PROGRAM [MCPU]
#
# MCPU must have a scheduling model of its own (llvm-16: neoverse-n2,
# neoverse-v1; in llvm-14 the Cortex-A72/A76 and Neoverse N1 names all map
# to one Cortex-A57 model).
set -euo pipefail
program=$1
mcpu=${2:-neoverse-n2}
mca=$(command -v llvm-mca-16 || echo /usr/lib/llvm-16/bin/llvm-mca)
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
aarch64-linux-gnu-objdump -d --no-show-raw-insn -C "$program" >"$listing"

# NAME PATTERN [NEEDS]: the innermost loop with a vector store (or with
# instructions matching each of the regular expressions NEEDS, separated by
# " & ") in the functions whose names match PATTERN (a Python regular
# expression).  Pixels per iteration:
# 16 per 16-byte st2 / st3 / str q of ours, 32 per st4 (two bytes a
# pixel); libyuv's rows count down the width by the immediate of their subs.
loop() {
  python3 - "$listing" "$1" "$2" "$mca" "$mcpu" "${3:-}" <<'EOF'
import re, subprocess, sys
listing, name, pattern, mca, mcpu, wanted = sys.argv[1:]
functions, current = {}, None
for line in open(listing):
    m = re.match(r'^([0-9a-f]+) <(.*)>:$', line)
    if m:
        current = m.group(2)
        functions[current] = []
        continue
    m = re.match(r'^\s+([0-9a-f]+):\t(.*)$', line.rstrip('\n'))
    if current is not None and m:
        functions[current].append((int(m.group(1), 16), m.group(2).split('//')[0].strip()))
matches = [f for f in functions if re.search(pattern, f)]
if not matches:
    print(f"| {name} | (not found) | | |")
    sys.exit(0)
needs = [re.compile(w) for w in (wanted or r'^(st[234]\s|st1\s|str\s+q|stp\s+q)').split(' & ')]
best = None
code = [line for f in matches for line in functions[f]]
for i, (address, text) in enumerate(code):
    m = re.match(r'^(b\.\w+|b|cbnz|cbz|tbnz|tbz)\s.*?\b([0-9a-f]+) <', text)
    if not m:
        continue
    target = int(m.group(2), 16)
    if target >= address:
        continue
    body = [t for a, t in code if target <= a <= address]
    found = all(any(n.match(t) for t in body) for n in needs)
    if found and (best is None or len(body) < len(best)):
        best = body
if best is None:
    print(f"| {name} | (no loop) | | |")
    sys.exit(0)
pixels = 0
structured = any(re.match(r'^st[234]\s', t) for t in best)
for t in best:
    m = re.match(r'^subs\s+w\d+, w\d+, #0x([0-9a-f]+)', t)
    if m and name.startswith('libyuv'):
        pixels = int(m.group(1), 16)
    if not name.startswith('libyuv'):
        wide = '.16b' in t
        if re.match(r'^st4\s', t):
            pixels += 32 if wide else 16
        elif re.match(r'^st[23]\s', t):
            pixels += 16 if wide else 8
        elif not structured and re.match(r'^str\s+q', t):
            pixels += 16  # the 8-bit store; with structure stores, a spill
# Branch targets become a label; objdump's register ranges are accepted.
lines = ['loop:']
for t in best:
    t = re.sub(r'\s([0-9a-f]+) <.*$', ' loop', t)
    lines.append(t)
result = subprocess.run([mca, '-mtriple=aarch64', f'-mcpu={mcpu}', '-iterations=200'],
                        input='\n'.join(lines) + '\n', capture_output=True, text=True)
m = re.search(r'Total Cycles:\s+(\d+)', result.stdout)
if result.stderr.strip() or not m or not pixels:
    print(f"| {name} | (llvm-mca failed: {result.stderr.strip()[:80]}) | | |")
    sys.exit(0)
cycles = int(m.group(1)) / 200
print(f"| {name} | {len(best)} | {pixels} | {cycles:.1f} | {cycles / pixels:.3f} |")
EOF
}

echo "llvm-mca ($($mca --version | grep -o 'version [0-9.]*' | head -1), -mcpu=$mcpu): inner loops," \
  "cycles per pixel"
echo
echo "| loop | instructions | pixels | cycles per iteration | cycles per pixel |"
echo "|---|---:|---:|---:|---:|"
neon='kelmar::\(anonymous namespace\)::Neon'
form='ConvertPictureWithForm<kelmar::\(anonymous namespace\)::CompiledForm<\(kelmar::LumaFormKind\)1, 0, false, true>'
neonTable='kelmar::\(anonymous namespace\)::NeonWithTable'
windows='ConvertPictureWithWindows<kelmar'
neonHalves='kelmar::\(anonymous namespace\)::NeonHalves'
loop "ours 24-bit neutral (centred unit-slope form)" "$form, kelmar::Rgb24Facts, $neon>"
loop "ours 24-bit, window lookups (flatter ramps)" "$windows::Rgb24Facts, $neonTable, 1>"
loop "ours 24-bit adjusted (luma by halves)" "$windows::Rgb24Facts, $neonHalves, 1>"
loop "ours 5-5-5 neutral" "$form, kelmar::Rgb555Facts, $neon>"
loop "ours 5-5-5, window lookups" "$windows::Rgb555Facts, $neonTable, 1>"
loop "ours 5-5-5 adjusted (luma by halves)" "$windows::Rgb555Facts, $neonHalves, 1>"
loop "ours 5-6-5 neutral" "$form, kelmar::Rgb565Facts, $neon>"
loop "ours 5-6-5, window lookups" "$windows::Rgb565Facts, $neonTable, 1>"
loop "ours 5-6-5 adjusted (luma by halves)" "$windows::Rgb565Facts, $neonHalves, 1>"
loop "ours 8-bit" "DitherPicture<$neon, false>"
# The packed writers are inlined into one function per layout and luma
# mapping (PackWithLuma<yuy2, NeonMap>: 0 copies, 2 computes by halves): a
# copy's loop is the smallest with an st4, the adjusted one's the smallest
# with an st4, a lookup and the saturating subtract that only the chroma's
# halves take at this setting.
packed='PackWithLuma<'
map='kelmar::\(anonymous namespace\)::NeonMap\)'
loop "ours UYVY copy" "${packed}false, \(${map}0>" "^st4"
loop "ours UYVY adjusted (luma, U and V by halves)" "${packed}false, \(${map}2>" "^st4 & ^tbl & ^uqsub"
loop "ours YUY2 copy" "${packed}true, \(${map}0>" "^st4"
loop "ours YUY2 adjusted (luma, U and V by halves)" "${packed}true, \(${map}2>" "^st4 & ^tbl & ^uqsub"
loop "libyuv I422ToRGB24Row_NEON" "^I422ToRGB24Row_NEON$"
loop "libyuv I422ToARGB1555Row_NEON" "^I422ToARGB1555Row_NEON$"
loop "libyuv I422ToRGB565Row_NEON" "^I422ToRGB565Row_NEON$"
loop "libyuv I422ToUYVYRow_NEON" "^I422ToUYVYRow_NEON$"
loop "libyuv I422ToYUY2Row_NEON" "^I422ToYUY2Row_NEON$"
