#!/usr/bin/env bash
# Draws the conversion benchmark's figures as a chart: for every routine, its speed at each
# instruction set beside each peer's, for 640x480 frames and for frames from main memory; then
# prints them as a Markdown table.
#   scripts/bench-chart.sh [CSV [PNG]]
# CSV defaults to build/bench_conversion.csv, written by
#   scripts/bench-peers.sh "" --csv build/bench_conversion.csv
# and PNG to docs/bench-conversion.png.
set -eu
cd "$(dirname "$0")/.."
source scripts/lib.sh
ptc_install_packages gnuplot-nox
csv=${1:-build/bench_conversion.csv}
png=${2:-docs/bench-conversion.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One file per frame size: the routine, then every instruction set from SSE2 on and every peer
# (the CSV's columns from the fifth; the scalar routines and memcpy are left out).
awk -F, -v OFS=, -v dir="$work" '
    function row(first,   i, line) {
        line = first
        for (i = 5; i <= NF; ++i) line = line OFS ($i == "" ? "NaN" : $i)
        return line
    }
    NR == 1 { print row($1) > dir "/640.csv"; print row($1) > dir "/mem.csv"; next }
    $2 == "640x480" { print row($1) > dir "/640.csv" }
    $2 ~ / mem$/ { print row($1) > dir "/mem.csv" }
' "$csv"
columns=$(head -1 "$work/640.csv" | awk -F, '{ print NF }')
# A colour per column by its name: ours in blues and greens, the peers in warm colours.
colours=$(head -1 "$work/640.csv" | awk -F, '{
    split("SSE2 #9ecae1 SSSE3 #4292c6 AVX2 #08519c AVX-512 #00441b libyuv #fd8d3c pixman #d62728 SDL2 #7f2704", pairs, " ")
    for (i = 1; i < 14; i += 2) colour[pairs[i]] = pairs[i + 1]
    for (c = 2; c <= NF; ++c) printf "set linetype %d lc rgb \"%s\"\n", c - 1, colour[$c] ? colour[$c] : "#777777"
}')

gnuplot <<EOF
set terminal pngcairo size 1800,1200 font ",11" noenhanced
set output "$png"
set datafile separator ","
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.9 border -1
$colours
set key outside right top
set xtics rotate by -40 scale 0 nomirror
set ylabel "Mpixel/s"
set grid ytics
set yrange [0:*]
set multiplot layout 2,1
set title "640x480 frames"
plot for [c=2:$columns] "$work/640.csv" using c:xtic(1) title columnheader
set title "1920x1080 frames from main memory"
plot for [c=2:$columns] "$work/mem.csv" using c:xtic(1) title columnheader
unset multiplot
EOF
echo "wrote $png"

# The same figures as a Markdown table (docs/conversion-speed.md holds one), with the speed of
# AVX2 and of AVX-512 over the fastest peer's where the run has them.
awk -F, '
    NR == 1 {
        for (i = 1; i <= NF; ++i) {
            name[i] = $i
            if ($i == "AVX2") avx2 = i
            if ($i == "AVX-512") avx512 = i
            if ($i == "libyuv" || $i == "pixman" || $i == "SDL2") peer[i] = 1
        }
        line = "| routine | size"
        for (i = 5; i <= NF; ++i) line = line " | " $i
        if (avx2) line = line " | AVX2 / peer"
        if (avx512) line = line " | AVX-512 / peer"
        print line " |"
        line = "|---|---"
        for (i = 5; i <= NF; ++i) line = line "|---:"
        if (avx2) line = line "|---:"
        if (avx512) line = line "|---:"
        print line "|"
        next
    }
    $2 == "640x480" || $2 ~ / mem$/ {
        best = 0
        for (i in peer) if ($i != "" && $i + 0 > best) best = $i + 0
        line = "| " $1 " | " $2
        for (i = 5; i <= NF; ++i) line = line " | " ($i == "" ? "-" : $i)
        if (avx2) line = line " | " (best > 0 ? sprintf("%.2f", $avx2 / best) : "-")
        if (avx512) line = line " | " (best > 0 ? sprintf("%.2f", $avx512 / best) : "-")
        print line " |"
    }
' "$csv"
