#!/usr/bin/env bash
# Runs a long step with its output in a log and shows that it is alive: one
# line every 30 s with the time taken so far and how far the build got (a
# Ninja build's latest [n/N] step, or the number of files a make build has
# compiled). On failure the end of the log is printed.
#
#   scripts/progress.sh 'WHAT IT DOES' 'USUAL TIME' LOG COMMAND...
set -uo pipefail
what="$1" usual="$2" log="$3"
shift 3
mkdir -p "$(dirname "$log")"
echo "$what (usually $usual; log: $log)"
start=$SECONDS
"$@" >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null' INT TERM
next=30
while kill -0 "$pid" 2>/dev/null; do
  sleep 1
  elapsed=$((SECONDS - start))
  if [ "$elapsed" -ge "$next" ] && kill -0 "$pid" 2>/dev/null; then
    detail="$(grep -oE '^ *\[[0-9]+/[0-9]+\]' "$log" | tail -n1 | tr -d ' ')"
    if [ -n "$detail" ]; then
      detail=", step $detail"
    else  # a make build that prints its compiler calls
      n="$(grep -cE '^(gcc|g\+\+|cc|c\+\+) .* -c ' "$log")"
      [ "$n" -gt 0 ] && detail=", $n files compiled" || detail=""
    fi
    printf '  ... %dm%02ds%s\n' $((elapsed / 60)) $((elapsed % 60)) "$detail"
    next=$((next + 30))
  fi
done
wait "$pid"
rc=$?
elapsed=$((SECONDS - start))
if [ "$rc" -ne 0 ]; then
  tail -n 40 "$log" >&2
  echo "failed after $((elapsed / 60))m$(printf '%02d' $((elapsed % 60)))s (log: $log)" >&2
  exit "$rc"
fi
printf '  done in %dm%02ds\n' $((elapsed / 60)) $((elapsed % 60))
