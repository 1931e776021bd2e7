#!/usr/bin/env bash
# Reads 100, 1 000 and 5 000 seeded services with storage_read_bench. Resets the source storage
# and `ad` first (this removes every benchmark batch in them), then seeds services batch by batch
# up to each count. Usage: bench/storage-read-bench.sh <path of storage_read_bench> [runs]
set -euo pipefail
bench=${1:?usage: bench/storage-read-bench.sh <path of storage_read_bench> [runs]}
runs=${2:-3}
lab=$(cd "$(dirname "$0")/../lab" && pwd)
"$lab/reset" src-sd src-gc ad
seeded=0
for n in 100 1000 5000; do
  "$lab/seed-bench" --services $((n - seeded)) >/dev/null
  seeded=$n
  printf '== N = %d (plus the services of the seed)\n' "$n"
  "$bench" "$runs"
done
