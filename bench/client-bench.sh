#!/usr/bin/env bash
# The Client section for 1 000 and 10 000 users, each with a token: its export next to ldapsearch
# reading the same entries, its import next to ldapadd of the equivalent LDIF into the reset target
# pair, and the whole program's import of the section ("-users"). Times are the best of the runs,
# memory the largest peak of them (bench/measure). Both sides include their connection set-up,
# every time with StartTLS: the section opens one session, ldapsearch and ldapadd one per query or
# file. Resets src-sd, src-gc, ad, dst-sd and dst-gc (removing every benchmark batch), at the
# start and at the end, and holds the lab's tests.lock throughout, so lab tests started meanwhile
# wait for it.
# Usage: bench/client-bench.sh <build folder> [runs]
set -euo pipefail
build=${1:?usage: bench/client-bench.sh <build folder> [runs]}
runs=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
lab=$root/lab
measure=$build/bench/measure
bench=$build/bench/client_bench
program=$build/src/app/KvMigrationUtil
. "${KV_LAB_HOME:-/var/tmp/kvlab}/env"
exec 8>"$KV_LAB_HOME/tests.lock"
flock 8
work=$(mktemp -d "${TMPDIR:-/tmp}/kv-client-bench.XXXXXX")
trap 'rm -rf "$work"; "$lab/reset" src-sd src-gc ad dst-sd dst-gc >/dev/null' EXIT

src_root=DC=korvant
gc_root=DC=korvant-gc
elids="CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration"
user_attributes="cn description orvexKVObjectSid objectSid orvexKVUserAccessLevel
  orvexKVUserfControlLabels orvexKVUserfOutputSecret orvexKVUserfPrintSecretPriv
  orvexKVUserEffectivePublicKey128 orvexKVUserPreviousPublicKey128
  orvexKVUserEffectiveKeyTimeGenerated128 orvexKVUserPreviousKeyTimeGenerated128
  orvexKVUserPasswordHash orvexKVUserPasswordTimeGenerated orvexKVUserImitQuillCompList
  orvexKVUserQuillCompList"
elid_attributes="cn description orvexKVUEIAuthInfo orvexKVUEIFlags orvexKVUEIId orvexKVUEISize
  orvexKVUEIType orvexKVUEIUserSID"

# The searches the export makes, one ldapsearch each: the management server, the global record,
# the users, the tokens, with the attributes the export asks for.
cat >"$work/ldapsearch-set" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
search() {
  local base=\$1 filter=\$2
  shift 2
  ldapsearch -LLL -o ldif_wrap=no -x -ZZ -H "ldap://$KV_LAB_LDS_HOST:${KV_LAB_SRC_PORTS#*:}" \\
    -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" -E pr=1000/noprompt -b "\$base" "\$filter" "\$@" \\
    >/dev/null
}
search "$gc_root" "(&(cn=$KV_LAB_OMS_SID)(objectCategory=orvexKVOMS))" cn distinguishedName
search "CN=Korvant 5.0 Configuration,$gc_root" "(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))" \\
  cn description orvexKVGQuillDataKeysCheckData orvexKVGQuillDataKaCheckImit orvexKVGQuillDataSKaCheckImit
search "CN=Users,$gc_root" "(objectCategory=person)" $(echo $user_attributes)
search "$elids,$gc_root" "(objectCategory=orvexKVUEI)" $(echo $elid_attributes)
SCRIPT
chmod +x "$work/ldapsearch-set"

# The entries the import writes, as ldapadd takes them: the generated users and tokens of the
# source with the import's migration mark, and the global record.
equivalent_ldif() {
  local search=(ldapsearch -LLL -o ldif_wrap=no -x -ZZ -H "ldap://$KV_LAB_SRC_SD" -D "$KV_LAB_USER"
    -y "$KV_LAB_PASSWORD_FILE" -E pr=1000/noprompt)
  {
    "${search[@]}" -b "CN=GQuillData,CN=Korvant 5.0 Configuration,$src_root" -s base \
      "(objectClass=*)" objectClass cn orvexKVGQuillDataKeysCheckData orvexKVGQuillDataKaCheckImit \
      orvexKVGQuillDataSKaCheckImit
    "${search[@]}" -b "CN=Users,$src_root" "(cn=S-1-5-21-3000000000-*)" objectClass cn \
      orvexKVObjectSid orvexKVUserAccessLevel orvexKVUserfControlLabels orvexKVUserfOutputSecret \
      orvexKVUserfPrintSecretPriv orvexKVUserEffectivePublicKey128 orvexKVUserPreviousPublicKey128 \
      orvexKVUserEffectiveKeyTimeGenerated128 orvexKVUserPreviousKeyTimeGenerated128 \
      orvexKVUserPasswordHash orvexKVUserPasswordTimeGenerated orvexKVUserImitQuillCompList \
      orvexKVUserQuillCompList
    "${search[@]}" -b "$elids,$src_root" "(cn=B*-token-*)" objectClass cn orvexKVUEIAuthInfo \
      orvexKVUEIFlags orvexKVUEIId orvexKVUEISize orvexKVUEIType orvexKVUEIUserSID
  } | awk '/^#/ { next } { print } /^dn: / { print "description: objectMigrated" }'
}

reset_target() { "$lab/reset" dst-sd dst-gc >/dev/null; }

# The best time and the largest peak of `runs` imports, each into the reset target.
measure_import() {
  local best= peak=0 seconds mb
  for ((run = 0; run < runs; run++)); do
    reset_target
    read -r seconds mb < <("$measure" 1 "$@")
    best=$(awk -v a="$seconds" -v b="${best:-$seconds}" 'BEGIN { print (a < b ? a : b) }')
    peak=$(awk -v a="$mb" -v b="$peak" 'BEGIN { print (a > b ? a : b) }')
  done
  printf '%s %s\n' "$best" "$peak"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

"$lab/reset" src-sd src-gc ad dst-sd dst-gc >/dev/null
credentials="$KV_LAB_USER:$(cat "$KV_LAB_PASSWORD_FILE")"
printf '%-7s | %-9s %-12s %-6s %-9s | %-9s %-9s %-6s %-9s %-10s %-6s %-9s\n' users \
  export_s ldapsearch_s ratio export_MB import_s ldapadd_s ratio import_MB program_s ratio \
  program_MB
seeded=0
for n in 1000 10000; do
  "$lab/seed-bench" --users $((n - seeded)) --tokens $((n - seeded)) >/dev/null
  seeded=$n

  read -r export_s export_mb < <("$measure" "$runs" "$bench" export "$work/client.xml")
  read -r search_s _ < <("$measure" "$runs" "$work/ldapsearch-set")

  equivalent_ldif >"$work/equivalent.ldif"
  read -r import_s import_mb < <(measure_import "$bench" import "$work/client.xml")
  read -r add_s _ < <(measure_import ldapadd -x -ZZ -H "ldap://$KV_LAB_DST_SD" -D "$KV_LAB_USER" \
    -y "$KV_LAB_PASSWORD_FILE" -f "$work/equivalent.ldif")
  # The whole program reads the file the section export wrote, which holds the Client section only.
  read -r program_s program_mb < <(measure_import "$program" -im "$work/client.xml" -users \
    -lds "$KV_LAB_DST_PORTS" -srv "$KV_LAB_LDS_HOST" -dc "$KV_LAB_AD" -oms "$KV_LAB_OMS_SID" \
    -cr "$credentials")

  printf '%-7s | %-9s %-12s %-6s %-9s | %-9s %-9s %-6s %-9s %-10s %-6s %-9s\n' "$n" \
    "$export_s" "$search_s" "$(ratio "$export_s" "$search_s")" "$export_mb" "$import_s" "$add_s" \
    "$(ratio "$import_s" "$add_s")" "$import_mb" "$program_s" "$(ratio "$program_s" "$add_s")" \
    "$program_mb"
done
