#!/usr/bin/env bash
# Runs the plot script on small hand-made reports. Usage: plot_test.sh PLOT_SCRIPT SAMPLE_DIR
# Exits 77 (skipped) when gnuplot is not installed.
set -uo pipefail

plot=$(realpath "$1")
samples=$(realpath "$2")
command -v gnuplot > /dev/null || { echo "gnuplot is not installed: skipped"; exit 77; }
# A folder of this run's own, so that two runs at once do not meet.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A report with miss counts, one failed run and a variant whose TLB column is empty.
png="$work/plot_test.png"
bash "$plot" "$png" "$samples/with_misses.csv" || fail "with_misses.csv: exit status $?"
[ -s "$png" ] || fail "no PNG written"
png_signature=89504e470d0a1a0a
[ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = "$png_signature" ] || fail "$png is not a PNG"

# SVG text shows the labels: the miss panel appears only when misses were counted, and mixed
# inputs are named in the line labels.
svg="$work/plot_test.svg"
bash "$plot" "$svg" "$samples/with_misses.csv" || fail "svg: exit status $?"
grep -q "cached-stack L2" "$svg" || fail "no L2 line in the miss panel"
grep -q "uncached-heap L2" "$svg" || fail "no L2 line for the variant without TLB counts"
grep -q "uncached-heap TLB" "$svg" && fail "a TLB line for a variant with no TLB counts"
grep -q "input uniform" "$svg" || fail "the single input is not in the title"

bash "$plot" "$svg" "$samples/time_only.csv" || fail "time_only.csv: exit status $?"
grep -q "Misses" "$svg" && fail "a miss panel for a report without counts"
grep -q "cached-heap (sorted)" "$svg" || fail "mixed inputs are not in the labels"
grep -q "cached-heap (zipf)" "$svg" || fail "mixed inputs are not in the labels"

# One column of panels per input and item type; the ratio panel appears only where std-sort ran.
bash "$plot" "$svg" "$samples/peers.csv" || fail "peers.csv: exit status $?"
grep -q "Time, input uniform, element" "$svg" || fail "no panel for uniform elements"
grep -q "Time, input zipf, element" "$svg" || fail "no panel for zipf elements"
grep -q "Ratio to std-sort, input zipf, element" "$svg" || fail "no ratio panel"
bash "$plot" "$work/plot_test.time.svg" "$samples/time_only.csv" || fail "time_only.csv: exit status $?"
grep -q "Ratio to std-sort" "$work/plot_test.time.svg" && fail "a ratio panel without std-sort"

# Simulated counts are drawn as such, with their geometry, and never as hardware counts; beside
# hardware counts of another report both kinds keep their own lines.
bash "$plot" "$svg" "$samples/simulated.csv" || fail "simulated.csv: exit status $?"
grep -q "Simulated misses" "$svg" || fail "the miss panel does not say the counts are simulated"
grep -q "L2 2097152/16/64, L1 32768/8/64" "$svg" || fail "the simulated geometry is not in the panel title"
grep -q "cached-stack simulated L2" "$svg" || fail "no simulated L2 line"
grep -q "uncached-heap simulated L1" "$svg" || fail "no simulated L1 line"
grep -q "cached-stack L2<" "$svg" && fail "simulated counts drawn as hardware counts"
bash "$plot" "$svg" "$samples/simulated.csv" "$samples/with_misses.csv" || fail "mixed counts: exit status $?"
grep -q "dotted: simulated L2" "$svg" || fail "mixed counts: the title does not tell the kinds apart"
grep -q "cached-stack L2<" "$svg" || fail "mixed counts: no hardware L2 line"
grep -q "cached-stack simulated L2" "$svg" || fail "mixed counts: no simulated L2 line"

# A variant keeps its colour and point shape whatever else a plot holds, and no two variants share
# one: uncached-heap is the second line alone with cached-stack, the third beside the peers.
style_of() {  # SVG, line label: the line's colour and point symbol
  awk -v title="<title>$2</title>" '
    index($0, title) { found = 1 }
    found && match($0, /stroke=.rgb\([^)]*\)/) { colour = substr($0, RSTART, RLENGTH) }
    found && colour != "" && match($0, /#gpPt[0-9]+/) { print colour, substr($0, RSTART, RLENGTH); exit }
  ' "$1"
}
bash "$plot" "$svg" "$samples/with_misses.csv" || fail "with_misses.csv: exit status $?"
alone=$(style_of "$svg" uncached-heap)
bash "$plot" "$svg" "$samples/peers.csv" "$samples/with_misses.csv" || fail "peers beside misses: exit status $?"
[ -n "$alone" ] && [ "$(style_of "$svg" "uncached-heap (uniform)")" = "$alone" ] ||
  fail "uncached-heap changes its style with the other lines: '$alone'"
styles=$(for v in cached-stack std-sort uncached-heap vqsort; do style_of "$svg" "$v (uniform)"; done | sort -u | wc -l)
[ "$styles" = 4 ] || fail "four variants drawn in $styles styles"

# Every (variant, alpha, d) is a series: a variant's tunings keep its colour and point shape and
# differ in dash type; the peers, without a tuning, stay one series. A single tuning goes to the title.
dash_of() {  # SVG, line label: the line's dash pattern, "solid" for none
  awk -v title="<title>$2</title>" '
    index($0, title) { found = 1 }
    found && /<path stroke=/ { print match($0, /stroke-dasharray=.[0-9.,]*/) ? substr($0, RSTART, RLENGTH) : "solid"; exit }
  ' "$1"
}
bash "$plot" "$svg" "$samples/tunings.csv" || fail "tunings.csv: exit status $?"
[ "$(style_of "$svg" "cached-stack, alpha 4, d 2.5")" = "$(style_of "$svg" "cached-stack, alpha 8, d 2")" ] ||
  fail "the tunings of one variant differ in colour or point shape"
[ -n "$(style_of "$svg" "cached-stack, alpha 4, d 2.5")" ] || fail "no series for alpha 4, d 2.5"
[ "$(dash_of "$svg" "cached-stack, alpha 4, d 2.5")" != "$(dash_of "$svg" "cached-stack, alpha 8, d 2")" ] ||
  fail "two tunings share a dash type"
grep -q "<title>std-sort</title>" "$svg" || fail "std-sort is not one series without a tuning"
awk -F, '$18 != 8' "$samples/tunings.csv" > "$work/one_tuning.csv"
bash "$plot" "$svg" "$work/one_tuning.csv" || fail "one tuning: exit status $?"
grep -q "Funnel merge sort, input uniform, alpha 4, d 2.5<" "$svg" || fail "a single tuning is not in the title"
grep -q "<title>cached-stack</title>" "$svg" || fail "a single tuning is still in the labels"

# --bound: misses per bound against the size of the cache they were set against, the second level's
# unless the reports sweep the first; a report without them is refused.
bash "$plot" --bound "$svg" "$samples/bound.csv" || fail "bound.csv: exit status $?"
grep -q "<title>cached-stack</title>" "$svg" && grep -q "<title>std-sort</title>" "$svg" || fail "--bound: no line per variant"
grep -q "simulated level-2 cache" "$svg" || fail "--bound: M is not the second level's"
sed 's|32768/8/64,262144/16/64|16384/8/64,1048576/16/64|' "$samples/bound.csv" > "$work/l1_swept.csv"
bash "$plot" --bound "$svg" "$work/l1_swept.csv" || fail "l1_swept.csv: exit status $?"
grep -q "simulated level-1 cache" "$svg" || fail "--bound: a swept first level is not the one drawn"
bash "$plot" --bound "$svg" "$samples/simulated.csv" 2> /dev/null
[ $? -eq 2 ] || fail "--bound: a report without misses per bound is not refused"

# -h and --help: the usage on standard output, status 0; --version names the script and its version.
[ "$(bash "$plot" -h)" = "usage: plot.sh [--bound] OUTPUT.png|OUTPUT.svg REPORT.csv [REPORT.csv ...]" ] || fail "-h: no usage"
bash "$plot" --help > /dev/null || fail "--help: status $?"
[[ "$(bash "$plot" --version)" == "plot.sh 1.0.0"* ]] || fail "--version: $(bash "$plot" --version)"

# Bad calls exit 2 and write nothing.
rm -f "$work"/plot_test.*
bash "$plot" "$work/plot_test.pdf" "$samples/with_misses.csv" 2> /dev/null
[ $? -eq 2 ] || fail "an output that is neither PNG nor SVG is not a usage error"
bash "$plot" "$png" "$samples/no_size.csv" 2> /dev/null
[ $? -eq 2 ] || fail "a report without a size column is not an error"
bash "$plot" "$png" "$samples/missing.csv" 2> /dev/null
[ $? -eq 2 ] || fail "a missing report is not an error"
bash "$plot" "$png" 2> /dev/null
[ $? -eq 2 ] || fail "no report is not a usage error"
[ -z "$(ls "$work"/plot_test.* 2> /dev/null)" ] || fail "a failed call left a file behind"

# Text of a report is never run as gnuplot commands: not a quote that ends a string, not a
# backquoted command. The plot is made in the folder where the commands would leave their files.
hostile=$work/hostile
mkdir "$hostile"
{
  head -n 1 "$samples/simulated.csv"
  for n in 1000 2000; do
    echo "$n,"'cached-`touch VARIANT`,1,uniform,1,0.1,50,100,,simulated_L2_DCM,,,yes,ok,,100,simulated_L1_DCM,"x""; system ""touch L1""; set title ""y","y''; system ''touch L2''; `touch TICK`"'
  done
} > "$hostile/report.csv"
(cd "$hostile" && bash "$plot" plot.svg report.csv 2> /dev/null) || fail "a report with quotes in its cells: exit status $?"
[ "$(ls -A "$hostile")" = "$(printf 'plot.svg\nreport.csv')" ] || fail "report text ran as commands: $(ls -A "$hostile")"
grep -q 'cached-`touch VARIANT` simulated L2' "$hostile/plot.svg" || fail "a label with a backquote is not shown as it is"

# A number out of range is refused with its line; a folder is no output; a picture that cannot be
# written whole leaves nothing under its name.
printf 'size,variant,ns_per_element\n1000,std-sort,5\n1e400,std-sort,6\n' > "$work/huge.csv"
message=$(bash "$plot" "$png" "$work/huge.csv" 2>&1)
[ $? -eq 2 ] || fail "a size of 1e400 is not refused"
[ "$message" = "plot.sh: $work/huge.csv line 3: size 1e400 is not a finite number" ] || fail "1e400: $message"
mkdir "$work/folder.png"
bash "$plot" "$work/folder.png" "$samples/with_misses.csv" 2> /dev/null
[ $? -eq 2 ] || fail "an output folder is not refused"
[ -z "$(ls "$work/folder.png")" ] || fail "a picture was written into the output folder"
full=$work/full
mkdir "$full"
if unshare -m true 2> /dev/null; then
  # The small file system is seen inside the namespace only: the listing is taken there.
  seen=$(unshare -m bash -c 'mount -t tmpfs -o size=8k tmpfs "$1" || exit
    bash "$2" "$1/plot.png" "$3" 2> /dev/null; echo "status $?"; ls -A "$1"' _ "$full" "$plot" "$samples/with_misses.csv")
  [ "$seen" = "status 1" ] || fail "a full disk: $seen"
else
  echo "no file system can be mounted here: the full disk is not tried"
fi

[ "$failures" -eq 0 ] && echo "plot script: all checks passed"
exit $((failures > 0))
