#!/usr/bin/env bash
# Plots one or more CSV reports of `corvane --format=csv`: one column of panels per input and item
# type, one line per variant in every panel, each point the median over the repetitions of that
# variant and size. The top panel is nanoseconds per element against the number of elements n (log
# x axis); below it, when std-sort ran, each variant's time as a ratio to std-sort's at the same n;
# below that, when the reports hold miss counts, L2 and TLB misses per element, or the simulated L2
# and L1 data misses of `--counters=simulated` (the panel says so, with the simulated geometry).
# Line labels name the input too when the reports mix inputs, and the funnel's tuning (alpha, d)
# when the reports hold more than one: every (variant, alpha, d) is a series of its own, in its
# variant's colour, each tuning with a dash type of its own in the time and ratio panels.
#
# Usage: plot.sh [--bound] OUTPUT.png|OUTPUT.svg REPORT.csv [REPORT.csv ...]
#
# --bound draws instead the simulated misses per bound (misses_per_bound) against the size M of the
# cache they were set against, one line per variant (and tuning, and n where the reports hold
# several), each point the median over the repetitions: the second level's size, or the first's
# where the reports sweep it (their l1_cache differs from row to row).
#
# Columns are found by name in each report's header row: size and variant are needed, and
# ns_per_element (or seconds, from which it is computed); input, type, alpha, d, l2_misses, tlb_misses, and for
# simulated counts l2_event, l1_misses, l1_cache and l2_cache are used when present. Rows without a time (failed runs) are left out, and so are miss cells that
# hold no number (counters not counted); a number that is not finite (1e400) stops the plot with
# its line. Text from the reports reaches gnuplot only inside single-quoted strings, where gnuplot
# expands nothing. The picture is written beside OUTPUT under a temporary name and takes its name
# only when complete. Needs gnuplot (Debian package gnuplot-nox).
set -euo pipefail
source "$(dirname "$0")/../../scripts/standard_flags.sh"
usage_text='usage: plot.sh [--bound] OUTPUT.png|OUTPUT.svg REPORT.csv [REPORT.csv ...]'
answer_standard_flags plot.sh "$usage_text" "$@"

usage() {
  echo "$usage_text" >&2
  exit 2
}

bound_mode=0
if [ "${1:-}" = --bound ]; then
  bound_mode=1
  shift
fi
[ "$#" -ge 2 ] || usage
output=$1
shift
case "$output" in
  *.png) terminal='pngcairo size %d,%d font "sans,10"' ;;
  *.svg) terminal='svg size %d,%d dynamic font "sans,10"' ;;
  *) echo "plot.sh: the output must end in .png or .svg: $output" >&2; usage ;;
esac
if [ -d "$output" ]; then
  echo "plot.sh: the output is a folder: $output" >&2
  exit 2
fi
for report in "$@"; do
  [ -r "$report" ] || { echo "plot.sh: cannot read $report" >&2; exit 2; }
done
command -v gnuplot > /dev/null || { echo "plot.sh: gnuplot is missing (Debian package gnuplot-nox)" >&2; exit 1; }

work=$(mktemp -d)
part=
trap 'rm -rf "$work" ${part:+"$part"}' EXIT

# Text as a gnuplot string: single-quoted, where gnuplot runs no backquoted command and expands no
# macro; a quote is doubled, and a line break becomes gnuplot's own.
gp_string() {
  local text=${1//\'/\'\'}
  printf "'%s'" "${text//$'\n'/\'.\"\\n\".\'}"
}

# One line per measured value: variant, input, item type, tuning ("alpha A, d D", empty for the
# peers and for reports without those columns), metric (ns, l2, tlb, and the simulated sl2, sl1,
# all per element), n, value. Reports without a type column sort elements. The geometry of
# simulated counts goes to its own file, and so do the misses per bound: variant, tuning, n, the
# sizes of the first and the second level, value.
awk -v geometry="$work/geometry" -v bound="$work/bound" '
  # Splits a CSV line into f[1..], honouring double quotes and "" inside them.
  function split_csv(line, f,    n, i, c, field, quoted) {
    n = 0; field = ""; quoted = 0
    for (i = 1; i <= length(line); i++) {
      c = substr(line, i, 1)
      if (quoted) {
        if (c == "\"") {
          if (substr(line, i + 1, 1) == "\"") { field = field c; i++ } else quoted = 0
        } else field = field c
      } else if (c == "\"") quoted = 1
      else if (c == ",") { f[++n] = field; field = "" }
      else field = field c
    }
    f[++n] = field
    return n
  }
  function is_number(s) { return s ~ /^[ \t]*[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?[ \t]*$/ }
  # A number beyond the range of a double (1e400) would reach gnuplot as inf: the report is refused.
  function finite(s, what) {
    if (sprintf("%g", s + 0) !~ /[iI][nN][fF]|[nN][aA][nN]/) return s
    print "plot.sh: " FILENAME " line " FNR ": " what " " s " is not a finite number" > "/dev/stderr"
    bad = 1
    exit
  }
  function cell(name) { return (name in col) ? f[col[name]] : "" }
  # Labels end up in tab-separated files and gnuplot strings, one line each.
  function label(s) { gsub(/[\001-\037\177"\\]/, "_", s); return s }
  # The manifest of an experiment, "# key: value" lines before the header row, is skipped.
  FNR == 1 { header_seen = 0 }
  !header_seen && /^# / { next }
  !header_seen {
    header_seen = 1
    sub(/\r$/, "")
    for (name in col) delete col[name]
    count = split_csv($0, f)
    for (i = 1; i <= count; i++) { name = f[i]; gsub(/^[ \t]+|[ \t]+$/, "", name); col[name] = i }
    if (!("size" in col) || !("variant" in col) || (!("ns_per_element" in col) && !("seconds" in col))) {
      print "plot.sh: " FILENAME ": the header row needs size, variant and ns_per_element or seconds" > "/dev/stderr"
      bad = 1
      exit
    }
    next
  }
  {
    sub(/\r$/, "")
    split_csv($0, f)
    n = cell("size")
    if (!is_number(n) || finite(n, "size") + 0 <= 0) next
    ns = cell("ns_per_element")
    if (!is_number(ns)) {
      seconds = cell("seconds")
      if (!is_number(seconds)) next
      ns = finite(seconds, "seconds") * 1e9 / n
    }
    finite(ns, "ns_per_element")
    type = cell("type"); if (type == "") type = "element"
    tuning = cell("alpha") != "" || cell("d") != "" ? "alpha " label(cell("alpha")) ", d " label(cell("d")) : ""
    key = label(cell("variant")) "\t" label(cell("input")) "\t" label(type) "\t" tuning
    printf "%s\tns\t%s\t%.10g\n", key, n + 0, ns
    simulated = cell("l2_event") ~ /^simulated/
    if (simulated) print "L2 " label(cell("l2_cache")) ", L1 " label(cell("l1_cache")) > geometry
    if (is_number(cell("l2_misses"))) printf "%s\t%s\t%s\t%.10g\n", key, simulated ? "sl2" : "l2", n + 0, finite(cell("l2_misses"), "l2_misses") / n
    if (is_number(cell("tlb_misses"))) printf "%s\ttlb\t%s\t%.10g\n", key, n + 0, finite(cell("tlb_misses"), "tlb_misses") / n
    if (simulated && is_number(cell("l1_misses"))) printf "%s\tsl1\t%s\t%.10g\n", key, n + 0, finite(cell("l1_misses"), "l1_misses") / n
    if (is_number(cell("misses_per_bound"))) {
      split(cell("l1_cache"), l1, "/"); split(cell("l2_cache"), l2, "/")
      if (is_number(l1[1]) && is_number(l2[1])) {
        printf "%s\t%s\t%s\t%s\t%s\t%.10g\n", label(cell("variant")), tuning, n + 0, l1[1] + 0, l2[1] + 0,
          finite(cell("misses_per_bound"), "misses_per_bound") > bound
      }
    }
  }
  END { if (bad) exit 2 }
' "$@" > "$work/values"

if [ ! -s "$work/values" ]; then
  echo "plot.sh: no run with a time in the reports" >&2
  exit 2
fi

# Reports of a single input name it in the title; mixed inputs name theirs in the line labels.
tab=$(printf '\t')
inputs=$(cut -f 2 "$work/values" | sort -u)
# The panels' columns: one per input and item type, in the order of sort.
cut -f 2,3 "$work/values" | sort -u > "$work/groups"
group_count=$(wc -l < "$work/groups")
title="Funnel merge sort"
label_inputs=0
if [ "$(printf '%s\n' "$inputs" | wc -l)" -gt 1 ]; then
  label_inputs=1
elif [ -n "$inputs" ]; then
  title="$title, input $inputs"
fi
# Likewise the tunings: one is named in the title, several in the labels, each with its dash type.
cut -f 4 "$work/values" | sed '/^$/d' | sort -u > "$work/tunings"
label_tunings=0
if [ "$(wc -l < "$work/tunings")" -gt 1 ]; then
  label_tunings=1
elif [ -s "$work/tunings" ]; then
  title="$title, $(cat "$work/tunings")"
fi

# Medians per series, panel, metric and n, written as one data file per panel, series and metric:
# series_I holds the label of series I, METRIC_G_I.dat its points in panel G. A series is a
# variant (with its tuning and its input, where labels name them), and variant_I names its variant,
# whose colour and point shape it has in every panel and plot; dash_I is the dash type of its
# tuning (1 where the labels name none). Beside them,
# ratio_G_I.dat holds the time as a ratio to std-sort's median at the same n.
sort -t "$tab" -k1,1 -k2,2 -k3,3 -k4,4 -k5,5 -k6,6n -k7,7g "$work/values" |
  awk -F'\t' -v dir="$work" -v label_inputs="$label_inputs" -v label_tunings="$label_tunings" '
  BEGIN {
    while ((getline line < (dir "/groups")) > 0) group_of[line] = ++groups
    while ((getline line < (dir "/tunings")) > 0) dash_of[line] = ++tunings
  }
  function flush(    median, name, g, i) {
    if (count == 0) return
    median = count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
    name = label_tunings && tuning != "" ? variant ", " tuning : variant
    name = label_inputs && input != "" ? name " (" input ")" : name
    if (!(name in index_of)) {
      index_of[name] = ++series_count
      print name > (dir "/series_" series_count)
      print variant > (dir "/variant_" series_count)
      print label_tunings && tuning != "" ? dash_of[tuning] : 1 > (dir "/dash_" series_count)
    }
    g = group_of[input "\t" type]; i = index_of[name]
    printf "%s %.10g\n", n, median > (dir "/" metric "_" g "_" i ".dat")
    if (metric == "ns") {
      ns[g, i, n] = median
      if (variant == "std-sort") reference[g, n] = median
    }
    count = 0
  }
  {
    if ($1 != variant || $2 != input || $3 != type || $4 != tuning || $5 != metric || $6 != n) {
      flush(); variant = $1; input = $2; type = $3; tuning = $4; metric = $5; n = $6
    }
    v[++count] = $7
  }
  END {
    flush()
    for (key in ns) {
      split(key, k, SUBSEP)
      if ((k[1], k[3]) in reference) printf "%s %.10g\n", k[3], ns[key] / reference[k[1], k[3]] > (dir "/ratio_" k[1] "_" k[2] ".unsorted")
    }
    print series_count > (dir "/series_count")
  }
'
for unsorted in "$work"/ratio_*.unsorted; do
  [ -e "$unsorted" ] && sort -g "$unsorted" > "${unsorted%.unsorted}.dat"
done
series_count=$(cat "$work/series_count")

# Whether any of the given files exists (globs that match nothing stay as they are).
any_file() {
  local f
  for f in "$@"; do [ -e "$f" ] && return 0; done
  return 1
}
has_counted=0
if any_file "$work"/l2_*.dat "$work"/tlb_*.dat; then has_counted=1; fi
has_ratio=0
if any_file "$work"/ratio_*.dat; then has_ratio=1; fi
has_simulated=0
if any_file "$work"/sl2_*.dat "$work"/sl1_*.dat; then has_simulated=1; fi
has_misses=$((has_counted || has_simulated))
# A log scale needs every miss rate above zero; a machine that counted none gets a linear one.
misses_log=1
rates=$(cat "$work"/*l2_*.dat "$work"/tlb_*.dat "$work"/sl1_*.dat 2> /dev/null || true)
if [ "$has_misses" = 1 ] && printf '%s\n' "$rates" | awk '$2 != "" && $2 <= 0 { found = 1 } END { exit !found }'; then
  misses_log=0
fi
# Simulated counts name their cache geometry (size/ways/line in bytes) where the reports share one.
simulated_caches=""
if [ -s "$work/geometry" ] && [ "$(sort -u "$work/geometry" | wc -l)" -eq 1 ]; then
  simulated_caches=$'\n'"size/ways/line in bytes: $(head -n 1 "$work/geometry")"
fi

source "$(dirname "$0")/variant_style.sh"

plot_list() {  # panel column, metric, dash type (or "tuning": the series' own), label suffix
  local group=$1 metric=$2 dash=$3 suffix=$4 list="" sep="" i
  for ((i = 1; i <= series_count; i++)); do
    [ -f "$work/${metric}_${group}_$i.dat" ] || continue
    [ "$3" = tuning ] && dash=$(cat "$work/dash_$i")
    list="$list$sep$(gp_string "$work/${metric}_${group}_$i.dat") using 1:2 with linespoints $(variant_style "$(cat "$work/variant_$i")") dashtype $dash"
    list="$list title $(gp_string "$(cat "$work/series_$i")$suffix") noenhanced"
    sep=", "
  done
  printf '%s' "$list"
}

# The n axis reaches a little beyond the smallest and the largest n (a share of its width on the
# log scale), instead of out to whole powers of ten.
size_range=$(cut -f 6 "$work/values" | sort -g | awk '
  NR == 1 { smallest = $1 }
  { largest = $1 }
  END {
    share = 0.04; least_margin = 1.1
    margin = exp(share * log(largest / smallest)); if (margin < least_margin) margin = least_margin
    printf "%.6g : %.6g", smallest / margin, largest * margin
  }
')
# A few sizes are marked one by one (480k, 1.92M); many get powers of ten.
most_marked_sizes=12
size_tics=$(cut -f 6 "$work/values" | sort -n -u | awk -v most="$most_marked_sizes" '
  function short(n) {
    if (n >= 1e9) return sprintf("%.3gG", n / 1e9)
    if (n >= 1e6) return sprintf("%.3gM", n / 1e6)
    if (n >= 1e3) return sprintf("%.3gk", n / 1e3)
    return n
  }
  { tics = tics (NR > 1 ? ", " : "") "\"" short($1) "\" " $1 }
  END { if (NR <= most) print tics }
')

# The panels of one column: time, ratio to std-sort when it ran, misses when they were counted.
rows=$((1 + has_ratio + has_misses))
height=$((200 + 400 * rows))
width=$((1000 + 600 * (group_count - 1)))
# The title of panel column G: its input and item type.
group_title() { sed -n "${1}p" "$work/groups" | awk -F'\t' '{ printf "input %s, %s", $1, $2 }'; }
# A plot command of the given lines; a panel without them stays empty.
plot_of() { if [ -n "$1" ]; then echo "plot $1"; else echo 'set multiplot next'; fi; }
miss_lines() {  # panel column
  local lines=() line list=""
  if [ "$has_counted" = 1 ]; then
    lines+=("$(plot_list "$1" l2 1 " L2")" "$(plot_list "$1" tlb 2 " TLB")")
    lines+=("$(plot_list "$1" sl2 3 " simulated L2")" "$(plot_list "$1" sl1 4 " simulated L1")")
  else
    lines+=("$(plot_list "$1" sl2 1 " simulated L2")" "$(plot_list "$1" sl1 2 " simulated L1")")
  fi
  for line in "${lines[@]}"; do
    [ -n "$line" ] && list="$list${list:+, }$line"
  done
  printf '%s' "$list"
}
if [ "$has_simulated" = 0 ]; then
  miss_title="Misses (solid: L2 data cache, dashed: TLB)"
elif [ "$has_counted" = 0 ]; then
  miss_title="Simulated misses (solid: L2 data cache, dashed: L1 data cache)$simulated_caches"
else
  miss_title="Misses (solid: L2 data cache, dashed: TLB, dotted: simulated L2, dash-dot: simulated L1)$simulated_caches"
fi
# --bound: misses per bound against the cache size, the medians per series and size written as
# bound_I.dat, series_I, variant_I and dash_I as above (the dash type tells the n apart).
bound_plot() {
  if [ ! -s "$work/bound" ]; then
    echo "plot.sh: no simulated run with misses per bound in the reports" >&2
    exit 2
  fi
  # The first level is the one set against the bound only where the reports sweep it.
  local level=2 column=5 count i list=""
  if [ "$(cut -f 4 "$work/bound" | sort -u | wc -l)" -gt 1 ]; then level=1 column=4; fi
  local several_n=0 several_tunings=0
  [ "$(cut -f 3 "$work/bound" | sort -u | wc -l)" -gt 1 ] && several_n=1
  [ "$(cut -f 2 "$work/bound" | sed "/^$/d" | sort -u | wc -l)" -gt 1 ] && several_tunings=1
  cut -f 3 "$work/bound" | sort -n -u > "$work/bound_sizes"
  awk -F'\t' -v OFS='\t' -v c="$column" '{ print $1, $2, $3, $c, $6 }' "$work/bound" | sort -t "$tab" -k1,1 -k2,2 -k3,3n -k4,4n -k5,5g |
    awk -F'\t' -v dir="$work" -v several_n="$several_n" -v several_tunings="$several_tunings" '
      BEGIN { while ((getline line < (dir "/bound_sizes")) > 0) dash_of[line] = ++sizes }
      function flush(    median, name) {
        if (count == 0) return
        median = count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
        name = variant (several_tunings && tuning != "" ? ", " tuning : "") (several_n ? ", n " n : "")
        if (!(name in index_of)) {
          index_of[name] = ++series_count
          print name > (dir "/series_" series_count)
          print variant > (dir "/variant_" series_count)
          print dash_of[n] > (dir "/dash_" series_count)
        }
        printf "%s %.10g\n", m, median > (dir "/bound_" index_of[name] ".dat")
        count = 0
      }
      {
        if ($1 != variant || $2 != tuning || $3 != n || $4 != m) { flush(); variant = $1; tuning = $2; n = $3; m = $4 }
        v[++count] = $5
      }
      END { flush(); print series_count > (dir "/series_count") }
    '
  count=$(cat "$work/series_count")
  for ((i = 1; i <= count; i++)); do
    list="$list${list:+, }$(gp_string "$work/bound_$i.dat") using 1:2 with linespoints $(variant_style "$(cat "$work/variant_$i")")"
    list="$list dashtype $(cat "$work/dash_$i") title $(gp_string "$(cat "$work/series_$i")") noenhanced"
  done
  printf "set terminal $terminal\n" 1000 600
  echo 'set grid'
  echo 'set key outside right top'
  echo 'set logscale x 2'
  echo 'set format x "%.0b%B"'
  echo "set xlabel 'M, the simulated level-$level cache (bytes)'"
  echo "set ylabel 'simulated L$level misses / bound'"
  echo 'set yrange [0:*]'
  echo 'set offsets graph 0.05, graph 0.05, graph 0.05, 0'
  printf 'set title %s noenhanced\n' "$(gp_string "Misses per bound (N/B) max(1, log_{M/B}(N/B)), $title")"
  echo "plot $list"
}

if [ "$bound_mode" = 1 ]; then
  bound_plot > "$work/plot.gp"
else {
  printf "set terminal $terminal\n" "$width" "$height"
  # No output file: the picture goes to standard output, where a failed write shows (gnuplot
  # itself ends with status 0 when its output file cannot be written).
  echo 'set grid'
  echo 'set key outside right top'
  # Every panel of a column shares one plot width, whatever the width of its key, so that their n
  # line up; the key takes the right fifth of each column.
  echo 'set lmargin 10'
  echo 'set logscale x'
  echo "set xrange [$size_range]"
  if [ -n "$size_tics" ]; then
    echo "set xtics ($size_tics)"
    echo 'set mxtics default'
  else
    echo 'set format x "10^{%L}"'
  fi
  echo 'set xlabel "n (elements)"'
  printf 'set multiplot layout %d,%d columnsfirst title %s noenhanced\n' "$rows" "$group_count" "$(gp_string "$title")"
  for ((g = 1; g <= group_count; g++)); do
    echo "set rmargin at screen $(awk -v g="$g" -v c="$group_count" 'BEGIN { printf "%.4f", (g - 0.26) / c }')"
    echo "set lmargin at screen $(awk -v g="$g" -v c="$group_count" 'BEGIN { printf "%.4f", (g - 1 + 0.07) / c }')"
    printf 'set title %s noenhanced\n' "$(gp_string "Time, $(group_title "$g")")"
    echo 'unset logscale y'
    echo 'set ylabel "ns per element"'
    echo 'set yrange [0:*]'
    # The highest time below the frame, not on it.
    echo 'set offsets 0, 0, graph 0.05, 0'
    plot_of "$(plot_list "$g" ns tuning "")"
    if [ "$has_ratio" = 1 ]; then
      printf 'set title %s noenhanced\n' "$(gp_string "Ratio to std-sort, $(group_title "$g")")"
      echo 'set ylabel "time / time of std-sort"'
      plot_of "$(plot_list "$g" ratio tuning "")"
    fi
    if [ "$has_misses" = 1 ]; then
      printf 'set title %s noenhanced\n' "$(gp_string "$miss_title")"
      echo 'set ylabel "misses per element"'
      echo 'set offsets 0, 0, 0, 0'
      if [ "$misses_log" = 1 ]; then
        echo 'set logscale y'
        echo 'set yrange [*:*]'
      fi
      plot_of "$(miss_lines "$g")"
    fi
  done
  echo 'unset multiplot'
} > "$work/plot.gp"
fi

# Written beside the output under a temporary name, so that a full disk or an interruption leaves
# no partial picture under the output's name.
part=$(mktemp "$(dirname -- "$output")/.plot-XXXXXX") || { echo "plot.sh: cannot write beside $output" >&2; exit 1; }
if ! gnuplot "$work/plot.gp" | cat > "$part"; then
  echo "plot.sh: could not write $output" >&2
  exit 1
fi
# mktemp makes the file readable by its owner only; the picture gets the permissions of a new file.
chmod "$(printf '%o' $((0666 & ~$(umask))))" "$part"
mv -f -T -- "$part" "$output"
part=
echo "plot.sh: wrote $output" >&2
