#!/usr/bin/env bash
# The export of the lab's source pair next to ldapsearch reading the same entries, for 1 000,
# 5 000 and 20 000 services (with one container per 100 and one policy per 50 services). Both
# sides include their connection set-up: the program opens its sessions, ldapsearch connects once
# per query, every time with StartTLS. Resets src-sd, src-gc and `ad` before and after (removing
# every benchmark batch); it holds the lab tests' lock while it runs, so lab tests started
# meanwhile wait for it (and it for them).
# Usage: bench/export-bench.sh <build folder> [runs]
set -euo pipefail
build=${1:?usage: bench/export-bench.sh <build folder> [runs]}
runs=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
lab=$root/lab
measure=$build/bench/measure
program=$build/src/app/KvMigrationUtil
. "${KV_LAB_HOME:-/var/tmp/kvlab}/env"
exec 8>"$KV_LAB_HOME/tests.lock"
flock 8
work=$(mktemp -d "${TMPDIR:-/tmp}/kv-export-bench.XXXXXX")
# The batches go again at the end, so that the lab tests that follow find the seeded storages.
trap 'rm -rf "$work"; "$lab/reset" src-sd src-gc ad >/dev/null' EXIT

# The same entries the export reads, one ldapsearch per query.
cat >"$work/ldapsearch-set" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
search() {
  local host=\$1 base=\$2 filter=\$3
  shift 3
  ldapsearch -LLL -o ldif_wrap=no -x -ZZ -H "ldap://\$host" -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" \\
    -E pr=1000/noprompt -b "\$base" "\$filter" "\$@" >/dev/null
}
gc=$KV_LAB_LDS_HOST:${KV_LAB_SRC_PORTS#*:}
search "\$gc" "$KV_LAB_SRC_SD_DN-GC" "(&(objectClass=orvexKVOMS)(orvexKVOMSSID=$KV_LAB_OMS_SID))"
search "\$gc" "$KV_LAB_SRC_SD_DN-GC" \\
  "(&(objectClass=computer)(&(orvexKVComputerfAgent=TRUE)(orvexKVComputerOMSSID=$KV_LAB_OMS_SID)))" \\
  orvexKvComputerCriticalityLevel orvexKVComputerHttpTransportSettings orvexKVComputerShedule \\
  orvexKVComputerRegWSDepartement orvexKVComputerRegWSLocation orvexKVComputerRegWSNumber \\
  orvexKVComputerRegWSSystem orvexKVComputerQuillKeyInfoImit orvexKVComputerQuillPlantNumber \\
  orvexKVComputerQuillPublicKey orvexKVComputerQuillSyncData orvexKVComputerQuillVK \\
  orvexKVComputerOMSSID orvexKVProductVersionMajor orvexKVProductVersionMinor orvexKVObjectSid description
search "$KV_LAB_AD" "$KV_LAB_AD_NC" "(objectClass=computer)" dNSHostName canonicalName name objectSid
search "\$gc" "$KV_LAB_SRC_SD_DN-GC" "(objectClass=orvexKVPolicyObject)"
search "\$gc" "$KV_LAB_SRC_SD_DN-GC" "(&(objectClass=organizationalUnit)(orvexKVPolicyLink=*))" \\
  orvexKVPolicyLink orvexKVObjectGuid
search "$KV_LAB_AD" "$KV_LAB_AD_NC" "(&(objectClass=organizationalUnit)(gPLink=*))" \\
  gPLink objectGUID name canonicalName
SCRIPT
chmod +x "$work/ldapsearch-set"

"$lab/reset" src-sd src-gc ad
credentials="$KV_LAB_USER:$(cat "$KV_LAB_PASSWORD_FILE")"
printf '%-8s %-14s %-14s %-8s %-12s %s\n' services export_s ldapsearch_s ratio export_MB file_MB
seeded=0
for n in 1000 5000 20000; do
  "$lab/seed-bench" --services $((n - seeded)) --containers $(((n - seeded) / 100)) \
    --policies $(((n - seeded) / 50)) >/dev/null
  seeded=$n
  read -r export_s export_mb < <("$measure" "$runs" "$program" -ex "$work/export.xml" -rmf \
    -lds "$KV_LAB_SRC_PORTS" -srv "$KV_LAB_LDS_HOST" -dc "$KV_LAB_AD" -oms "$KV_LAB_OMS_SID" \
    -cr "$credentials")
  read -r search_s _ < <("$measure" "$runs" "$work/ldapsearch-set")
  file_mb=$(awk -v b="$(stat -c %s "$work/export.xml")" 'BEGIN { printf "%.1f", b / 1048576 }')
  ratio=$(awk -v a="$export_s" -v b="$search_s" 'BEGIN { printf "%.2f", a / b }')
  printf '%-8s %-14s %-14s %-8s %-12s %s\n' "$n" "$export_s" "$search_s" "$ratio" "$export_mb" "$file_mb"
done
