# Sourced by the benchmark scripts. measure LABEL OUTPUT COMMAND...: runs the
# command $runs times, each after removing OUTPUT, and prints whole-process
# wall time, peak memory, the output's size and the CPU seconds (user +
# system; steadier than wall time on a shared machine). Needs $runs and $work.
measure() {
  local label=$1 output=$2; shift 2
  for i in $(seq "$runs"); do
    rm -f "$output"
    /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null
    local wall rss cpu
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | awk '{print $NF}')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | awk '{print $NF}')
    cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$work/time.txt")
    printf '%-14s run %d  wall %8s  peak RSS %7d kB  output %d bytes  cpu %s s\n' "$label" "$i" "$wall" "$rss" \
      "$(stat -c %s "$output")" "$cpu"
  done
}
