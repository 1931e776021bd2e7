#!/usr/bin/env bash
# The whole migration at a realistic size, in one run on the lab: the full export of the source
# pair next to ldapsearch reading the same entries, and the full import into the reset target pair
# next to ldapadd writing the equivalent LDIF into the reset target pair, with the peak memory of
# each side and the migration file's size.
#
# The source storage gets, at 100 %: 20 000 users with a token each, 5 000 services, 200
# organisational units in `ad` with their product copies linking 400 policies and group-policy
# links to 50 group-policy objects with the product's templates, and 2 000 integrity-check objects
# on each platform (lab/seed-bench). Each scale in KV_BENCH_SCALES (percent of those counts, default
# "1 10 25") is seeded afresh, so the table shows how time and memory grow with the size. Seeding
# 100 % takes about 20 minutes on a loaded two-core machine, so it is not in the default.
#
# The target pair holds the seeded services as the new product installed on those computers puts
# them there (lab/seed-bench --target), so that the import writes them.
#
# Like for like: every side includes its connection set-up, every connection with StartTLS through
# the same ports (the program opens its sessions once; ldapsearch and ldapadd connect once per
# query or file). ldapsearch reads the entries the export reads, with the attributes it asks for,
# one query per kind of object. The equivalent LDIF is the difference of full dumps of both target
# partitions before and after the program's import (bench/equivalent-ldif.py); after ldapadd has
# written it, the dumps are compared again and the number of entries that differ is printed (0:
# ldapadd wrote what the program wrote, short of what the directory generates itself).
#
# Times are the best of the runs, memory the largest peak (bench/measure); imports start from a
# reset target each run. Each scale is one hold of the lab tests' lock, so that other lab users
# wait at most one scale: reset src-sd, src-gc, ad, dst-sd and dst-gc, seed, measure, and reset
# them again (removing the batch).
# Usage: bench/migration-bench.sh <build folder> [runs]
set -euo pipefail
build=${1:?usage: bench/migration-bench.sh <build folder> [runs]}
runs=${2:-1}
scales=${KV_BENCH_SCALES:-1 10 25}
root=$(cd "$(dirname "$0")/.." && pwd)
lab=$root/lab
measure=$build/bench/measure
program=$build/src/app/KvMigrationUtil
[[ -x $measure && -x $program ]] || { echo "build $measure and $program first" >&2; exit 2; }
. "${KV_LAB_HOME:-/var/tmp/kvlab}/env"
work=$(mktemp -d "${TMPDIR:-/tmp}/kv-migration-bench.XXXXXX")
locked=0
release_lab() {
  if ((locked)); then
    "$lab/reset" src-sd src-gc ad dst-sd dst-gc >/dev/null 2>&1
    exec 8>&-
    locked=0
  fi
}
# KV_BENCH_KEEP=1 keeps the work folder (the file, the dumps and the equivalent LDIF) and names it.
trap 'release_lab; if [[ -n ${KV_BENCH_KEEP:-} ]]; then echo "kept $work" >&2; else rm -rf "$work"; fi' EXIT

src_gc=$KV_LAB_LDS_HOST:${KV_LAB_SRC_PORTS#*:}
src_sd=$KV_LAB_LDS_HOST:${KV_LAB_SRC_PORTS%:*}
dst_sd=$KV_LAB_LDS_HOST:${KV_LAB_DST_PORTS%:*}
dst_gc=$KV_LAB_LDS_HOST:${KV_LAB_DST_PORTS#*:}
tool_auth=(-x -ZZ -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE")

# The password reaches the program from the lab's password file, never on a command line.
login=(-cr "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE")
connection=(-srv "$KV_LAB_LDS_HOST" -dc "$KV_LAB_AD" -oms "$KV_LAB_OMS_SID" "${login[@]}")

# The entries the export reads, one ldapsearch per query, with the attributes the export asks for.
cat >"$work/ldapsearch-set" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
search() {
  local host=\$1 base=\$2 filter=\$3
  shift 3
  ldapsearch -LLL -o ldif_wrap=no -x -ZZ -H "ldap://\$host" -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" \\
    -E pr=1000/noprompt -b "\$base" "\$filter" "\$@" >/dev/null
}
sd=$KV_LAB_SRC_SD_DN
search $src_gc "\$sd-GC" "(&(objectClass=orvexKVOMS)(orvexKVOMSSID=$KV_LAB_OMS_SID))"
search $src_gc "\$sd-GC" \\
  "(&(objectClass=computer)(&(orvexKVComputerfAgent=TRUE)(orvexKVComputerOMSSID=$KV_LAB_OMS_SID)))" \\
  orvexKvComputerCriticalityLevel orvexKVComputerHttpTransportSettings orvexKVComputerShedule \\
  orvexKVComputerRegWSDepartement orvexKVComputerRegWSLocation orvexKVComputerRegWSNumber \\
  orvexKVComputerRegWSSystem orvexKVComputerQuillKeyInfoImit orvexKVComputerQuillPlantNumber \\
  orvexKVComputerQuillPublicKey orvexKVComputerQuillSyncData orvexKVComputerQuillVK \\
  orvexKVComputerOMSSID orvexKVProductVersionMajor orvexKVProductVersionMinor orvexKVObjectSid description
search $KV_LAB_AD "$KV_LAB_AD_NC" "(objectClass=computer)" dNSHostName canonicalName name objectSid
search $src_gc "\$sd-GC" "(objectClass=orvexKVPolicyObject)"
search $src_gc "\$sd-GC" "(&(objectClass=organizationalUnit)(orvexKVPolicyLink=*))" \\
  orvexKVPolicyLink orvexKVObjectGuid
search $KV_LAB_AD "$KV_LAB_AD_NC" "(&(objectClass=organizationalUnit)(gPLink=*))" \\
  gPLink objectGUID name canonicalName
search $KV_LAB_AD "CN=Policies,CN=System,$KV_LAB_AD_NC" "(objectClass=groupPolicyContainer)" \\
  gPCFileSysPath
search $src_gc "DC=korvant-gc" "(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))" \\
  cn description orvexKVGQuillDataKeysCheckData orvexKVGQuillDataKaCheckImit orvexKVGQuillDataSKaCheckImit
search $src_gc "CN=Users,DC=korvant-gc" "(objectCategory=person)" cn description orvexKVObjectSid \\
  objectSid orvexKVUserAccessLevel orvexKVUserfControlLabels orvexKVUserfOutputSecret \\
  orvexKVUserfPrintSecretPriv orvexKVUserEffectivePublicKey128 orvexKVUserPreviousPublicKey128 \\
  orvexKVUserEffectiveKeyTimeGenerated128 orvexKVUserPreviousKeyTimeGenerated128 \\
  orvexKVUserPasswordHash orvexKVUserPasswordTimeGenerated orvexKVUserImitQuillCompList \\
  orvexKVUserQuillCompList
search $src_gc "CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration,DC=korvant-gc" \\
  "(objectCategory=orvexKVUEI)" cn description orvexKVUEIAuthInfo orvexKVUEIFlags orvexKVUEIId \\
  orvexKVUEISize orvexKVUEIType orvexKVUEIUserSID
for platform in "orvexKVICheckObj|CN=Integrity Check Objects" \\
  "orvexKVICheckObj64|CN=Integrity Check Objects x64"; do
  search $src_sd "\${platform#*|},CN=Korvant 5.0 Configuration,DC=korvant" "(&(objectClass=\${platform%|*}))" \\
    orvexKVICheckObjID orvexKVICheckObjType orvexKVICheckObjData distinguishedName
done
SCRIPT
chmod +x "$work/ldapsearch-set"

# dump_target <prefix>: full dumps of both target partitions, <prefix>-sd and <prefix>-gc.
dump_target() {
  ldapsearch -LLL -o ldif_wrap=no "${tool_auth[@]}" -H "ldap://$dst_sd" -E pr=1000/noprompt \
    -b "$KV_LAB_DST_SD_NC" '(objectClass=*)' '*' >"$1-sd"
  ldapsearch -LLL -o ldif_wrap=no "${tool_auth[@]}" -H "ldap://$dst_gc" -E pr=1000/noprompt \
    -b "$KV_LAB_DST_GC_NC" '(objectClass=*)' '*' >"$1-gc"
}

cat >"$work/ldapadd-set" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
ldapadd -x -ZZ -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" -H "ldap://$dst_sd" -f "$work/equivalent-sd.ldif"
ldapadd -x -ZZ -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" -H "ldap://$dst_gc" -f "$work/equivalent-gc.ldif"
SCRIPT
chmod +x "$work/ldapadd-set"

# The target pair as the new product leaves it on the seeded computers: their services, written
# by lab/seed-bench --target, added again after each reset.
add_target_services() {
  ldapadd "${tool_auth[@]}" -H "ldap://$dst_sd" -f "$work/dst-sd.ldif" >/dev/null
  ldapadd "${tool_auth[@]}" -H "ldap://$dst_gc" -f "$work/dst-gc.ldif" >/dev/null
}
reset_target() {
  "$lab/reset" dst-sd dst-gc >/dev/null 2>&1
  add_target_services
}
note() { printf '%s %s\n' "$(date -u +%T)" "$*" >&2; }

# timed <log> <runs> <command...>: "seconds megabytes" of the command (bench/measure); what the
# command writes to standard error goes to the log, whose end is shown when it fails.
timed() {
  local log=$1
  shift
  "$measure" "$@" 2>"$log" || { tail -n 5 "$log" >&2; return 1; }
}

# measure_import <dump prefix> <command...>: the best time and the largest peak of `runs` runs,
# each into the reset target, and the target's dump after the last.
measure_import() {
  local dump=$1 best= peak=0 seconds mb run result
  shift
  for ((run = 0; run < runs; run++)); do
    reset_target
    result=$(timed "$dump.log" 1 "$@")
    read -r seconds mb <<<"$result"
    best=$(awk -v a="$seconds" -v b="${best:-$seconds}" 'BEGIN { print (a < b ? a : b) }')
    peak=$(awk -v a="$mb" -v b="$peak" 'BEGIN { print (a > b ? a : b) }')
  done
  dump_target "$dump"
  printf '%s %s\n' "$best" "$peak"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
megabytes() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }

format='%-6s %-6s | %-9s %-12s %-6s %-9s %-7s | %-9s %-9s %-6s %-9s %-10s %-5s\n'
printf "$format" scale users export_s ldapsearch_s ratio export_MB file_MB import_s ldapadd_s ratio \
  import_MB ldapadd_MB diff
for scale in $scales; do
  exec 8>"$KV_LAB_HOME/tests.lock"
  flock 8
  locked=1
  note "scale $scale: lab held"
  "$lab/reset" src-sd src-gc ad dst-sd dst-gc >/dev/null 2>&1
  part() { echo $(($1 * scale / 100 > 0 ? $1 * scale / 100 : 1)); }
  "$lab/seed-bench" --services "$(part 5000)" --containers "$(part 200)" --policies "$(part 400)" \
    --gpos "$(part 50)" --users "$(part 20000)" --tokens "$(part 20000)" --icheck "$(part 2000)" \
    --target "$work" >/dev/null
  add_target_services
  dump_target "$work/before"

  note "scale $scale seeded; export"
  result=$(timed "$work/export.log" "$runs" "$program" -ex "$work/export.xml" -rmf \
    -lds "$KV_LAB_SRC_PORTS" "${connection[@]}")
  read -r export_s export_mb <<<"$result"
  result=$(timed "$work/ldapsearch.log" "$runs" "$work/ldapsearch-set")
  read -r search_s _ <<<"$result"
  note "import"
  file_mb=$(megabytes "$work/export.xml")

  result=$(measure_import "$work/program" "$program" -im "$work/export.xml" \
    -lds "$KV_LAB_DST_PORTS" "${connection[@]}")
  read -r import_s import_mb <<<"$result"
  python3 "$root/bench/equivalent-ldif.py" "$work/before-sd" "$work/program-sd" >"$work/equivalent-sd.ldif"
  python3 "$root/bench/equivalent-ldif.py" "$work/before-gc" "$work/program-gc" >"$work/equivalent-gc.ldif"
  note "ldapadd"
  result=$(measure_import "$work/ldapadd" "$work/ldapadd-set")
  read -r add_s add_mb <<<"$result"
  differ=$(($(python3 "$root/bench/equivalent-ldif.py" --compare "$work/program-sd" "$work/ldapadd-sd") +
    $(python3 "$root/bench/equivalent-ldif.py" --compare "$work/program-gc" "$work/ldapadd-gc")))
  note "reset"
  release_lab

  printf "$format" "$scale%" "$(part 20000)" "$export_s" "$search_s" \
    "$(ratio "$export_s" "$search_s")" "$export_mb" "$file_mb" "$import_s" "$add_s" \
    "$(ratio "$import_s" "$add_s")" "$import_mb" "$add_mb" "$differ"
done
