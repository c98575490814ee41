#!/usr/bin/env bash
# Sorts the same data with tolvarine, GNU sort and DuckDB, alternating them
# over several repetitions, and prints the median wall time, each peer's
# ratio to tolvarine and each one's peak memory. Writes the table to
# bench/results/peers.md and a chart to bench/results/peers.png.
#
#   bench/compare_peers.sh [--mb 1024] [--csv-rows 3000000] [--reps 3] [--scratch DIR]
#
# Cases: 100-byte records with a 10-byte key under a 256 MiB budget and
# 2 threads; the same with a budget that holds everything; a CSV with an
# integer, a string and a decimal column keyed on two of them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mb=1024 csv_rows=3000000 reps=3 scratch=${TMPDIR:-/tmp}
while [ $# -gt 0 ]; do
  case $1 in
    --mb) mb=$2; shift 2 ;;
    --csv-rows) csv_rows=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --scratch) scratch=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

scripts/build build >/dev/null
# Installs a Debian package only when its command is missing (node may come
# from elsewhere than Debian's nodejs package).
need() {
  command -v "$1" >/dev/null ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >/dev/null; }
}
need gnuplot gnuplot-nox
need /usr/bin/time time
need node nodejs
need npm npm
duck=$root/build/duckdb
if [ ! -d "$duck/node_modules/@duckdb/node-api" ]; then
  mkdir -p "$duck" && (cd "$duck" && npm install --silent --no-audit --no-fund @duckdb/node-api >/dev/null)
fi
cp bench/duckdb_sort.mjs "$duck/"

work=$(mktemp -d "$scratch/tolvarine-peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
tv=$root/build/tolvarine
rows=$((mb * 1024 * 1024 / 100))
echo "generating $rows records ($mb MiB) and a CSV of $csv_rows rows in $work"
"$tv" generate --layout gensort -n "$rows" --seed 7 -o "$work/records.dat"
"$tv" generate --layout csv -n "$csv_rows" --seed 7 -o "$work/data.csv"

# run NAME CMD...: one timed run; appends "case tool seconds peak_kib" to results.
results=$work/results.txt
: >"$results"
run() {
  local case=$1 tool=$2; shift 2
  sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" ||
    { echo "$tool failed on $case:"; cat "$work/err.txt"; return 1; }
  read -r secs kib <"$work/time.txt"
  echo "$case $tool $secs $kib" >>"$results"
  printf '  %-14s %-10s %8.2f s %8d MiB\n' "$case" "$tool" "$secs" $((kib / 1024))
}

records() {  # budget_mb
  local b=$1 case="records-${1}M"
  run "$case" tolvarine "$tv" sort -q --format fixed --fields 'key:bytes(10),payload:bytes(90)' \
    -k key -S "$b" --threads 2 -T "$work/tmp" "$work/records.dat" -o "$work/out"
  run "$case" gnu-sort env LC_ALL=C sort -S "${b}M" --parallel=2 -T "$work/tmp" \
    "$work/records.dat" -o "$work/out"
  run "$case" duckdb node "$duck/duckdb_sort.mjs" records "$work/records.dat" "$work/out" \
    "${b}MB" 2 "$work/tmp"
}
csv() {
  local case="csv-2keys"
  run "$case" tolvarine "$tv" sort -q --schema 'id:i8,name:wstr(32),amount:decimal' \
    -k name:flags=16 -k amount -S 256 --threads 2 -T "$work/tmp" "$work/data.csv" -o "$work/out"
  run "$case" gnu-sort sh -c "LC_ALL=C sort -t, -k2,2 -k3,3g -S 256M --parallel=2 -T '$work/tmp' \
    '$work/data.csv' -o '$work/out'"
  run "$case" duckdb node "$duck/duckdb_sort.mjs" csv "$work/data.csv" "$work/out" 256MB 2 "$work/tmp"
}

big=$((mb * 3 + 512))
for r in $(seq 1 "$reps"); do
  echo "repetition $r of $reps"
  records 256
  records "$big"
  csv
done

mkdir -p bench/results
machine="$(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr)"
python3 - "$results" "$machine" "$mb" "$csv_rows" "$reps" <<'PY'
import sys, statistics, collections, datetime
path, machine, mb, csv_rows, reps = sys.argv[1:]
runs = collections.defaultdict(list)
for line in open(path):
    case, tool, secs, kib = line.split()
    runs[(case, tool)].append((float(secs), int(kib)))
cases = list(dict.fromkeys(c for c, _ in runs))
tools = ["tolvarine", "gnu-sort", "duckdb"]
out = [f"Machine: {machine}; date {datetime.date.today()}; {mb} MiB of 100-byte records, "
       f"a CSV of {csv_rows} rows; median of {reps} runs, tools alternated.", "",
       "| case | tool | median wall (s) | ratio to tolvarine | peak memory (MiB) |",
       "|---|---|---|---|---|"]
dat = []
for case in cases:
    base = statistics.median(s for s, _ in runs[(case, "tolvarine")])
    for tool in tools:
        if (case, tool) not in runs: continue
        med = statistics.median(s for s, _ in runs[(case, tool)])
        peak = max(k for _, k in runs[(case, tool)]) // 1024
        out.append(f"| {case} | {tool} | {med:.2f} | {med / base:.2f} | {peak} |")
        dat.append(f"{case} {tool} {med:.3f} {peak}")
open("bench/results/peers.md", "w").write("\n".join(out) + "\n")
open("bench/results/peers.dat", "w").write("\n".join(dat) + "\n")
print("\n".join(out))
PY
gnuplot <<GP
set terminal pngcairo size 1000,520 font ",10"
set output "bench/results/peers.png"
set multiplot layout 1,2 title "tolvarine vs GNU sort vs DuckDB ($machine, $(date +%F))"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set key top left
set yrange [0:*]
set xtics rotate by -20
set title "median wall time (s)"
plot for [t in "tolvarine gnu-sort duckdb"] "< awk '\$2==\"".t."\"' bench/results/peers.dat" using 3:xtic(1) title t
set title "peak memory (MiB)"
plot for [t in "tolvarine gnu-sort duckdb"] "< awk '\$2==\"".t."\"' bench/results/peers.dat" using 4:xtic(1) title t
unset multiplot
GP
echo "wrote bench/results/peers.md and bench/results/peers.png"
