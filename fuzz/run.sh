#!/usr/bin/env bash
# Runs every fuzz target of a TQ_FUZZ build for a bounded time, each seeded
# from the test fixtures. Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=$(mktemp -d)
  seeds="$here/seeds/${name%_fuzz}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "-- $name"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=0 "$corpus" 2>"$corpus.log"; then
    tail -50 "$corpus.log"
    status=1
  else
    grep -E '^(#[0-9]+.*DONE|Done)' "$corpus.log" | tail -1 || true
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
