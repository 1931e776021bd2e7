#!/usr/bin/env bash
# lab/reset brings an instance back to its seeded state: change dst-sd, reset it, and find the
# seed again. Then the target pair switches to the dst-new variant (tied to ad-new) and back.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

host="ldap://$KV_LAB_LDS_HOST:51000"
sd_dn=$KV_LAB_DST_SD_DN
ws01="CN=WS01,CN=Computers,$sd_dn"
ws02="CN=WS02,CN=Computers,$sd_dn"
extra="CN=lab-reset-probe,CN=Computers,$sd_dn"

modify() {
  ldapmodify -x -ZZ -H "$host" -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" >/dev/null
}

modify <<EOF2
dn: $ws01
changetype: modify
replace: description
description: objectMigrated;changed-by-the-reset-test
-

dn: $ws02
changetype: modify
delete: description
-

dn: $extra
changetype: add
objectClass: container
EOF2
out=$(lab_search -ZZ -H "$host" -b "$sd_dn" '(|(cn=WS01)(cn=WS02)(cn=lab-reset-probe))' description 2>&1) || true
check "changes are visible before the reset" \
  bash -c 'grep -qx "description: objectMigrated;changed-by-the-reset-test" <<<"$1" && grep -qx "dn: $2" <<<"$1"' _ "$out" "$extra"

"$LAB_DIR/reset" dst-sd

out=$(lab_search -ZZ -H "$host" -b "$sd_dn" '(|(cn=WS01)(cn=WS02)(cn=lab-reset-probe))' description 2>&1) || true
check "the changed description is gone" bash -c '! grep -q "changed-by-the-reset-test" <<<"$1"' _ "$out"
check "the added object is gone" bash -c '! grep -qx "dn: $2" <<<"$1"' _ "$out" "$extra"
check "the seeded migration mark is back" \
  bash -c 'grep -A1 -x "dn: $2" <<<"$1" | grep -qx "description: objectMigrated;"' _ "$out" "$ws02"
check "WS01 is back without a description" \
  bash -c 'grep -A1 -x "dn: $2" <<<"$1" | grep -q "^description"; test $? -ne 0' _ "$out" "$ws01"
out=$(lab_search -ZZ -H "$host" -s base -b "CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services,CN=Configuration,$KV_LAB_DST_SD_NC" orvexKVADSchemaVersionExtended 2>&1) || true
check "dst-sd answers with its schema version after the reset" has_line "$out" "orvexKVADSchemaVersionExtended: 19"
# The other instances keep running through a reset of one.
out=$(lab_search -ZZ -H "ldap://$KV_LAB_LDS_HOST:51002" -s base -b "$KV_LAB_DST_GC_NC" dn 2>&1) || true
check "dst-gc kept running" has_line "$out" "dn: $KV_LAB_DST_GC_NC"

# The target pair as seen through both forwarders: the security domain's tie to a domain (as
# text, by readable.awk) and its services.
declare -A SD_OF=([51000]=$KV_LAB_DST_SD_DN [51002]=$(ids_value DST_GC_SD_DN))
target_pair() {
  local port
  for port in 51000 51002; do
    echo "== $port"
    lab_search -ZZ -H "ldap://$KV_LAB_LDS_HOST:$port" -b "${SD_OF[$port]}" \
      '(|(objectClass=domainDNS)(objectClass=computer))' orvexKVObjectGuid orvexKVObjectSid 2>&1 |
      LC_ALL=C awk -f "$LAB_DIR/lib/readable.awk"
  done
}
# pair_has <text> <port> <line>: the answer through that port holds the line.
pair_has() { sed -n "/^== $2\$/,/^== /p" <<<"$1" | grep -qxF -- "$3"; }
services_of() { printf 'CN=%s,CN=Computers,%s' "$1" "${SD_OF[$2]}"; }

new_guid=$(ids_value NEW_DOMAIN_GUID)
ad_guid=$(ids_value AD_DOMAIN_GUID)
"$LAB_DIR/reset" dst-new
out=$(target_pair)
for port in 51000 51002; do
  check "dst-new ($port): the security domain is tied to ad-new" \
    pair_has "$out" "$port" "orvexKVObjectGuid: $new_guid"
  check "dst-new ($port): service WS30 keyed by NEW_SID_WS30" \
    bash -c 'sed -n "/^dn: $3\$/,/^\$/p" <<<"$1" | grep -qx "orvexKVObjectSid: $2"' _ \
    "$out" "$(ids_value NEW_SID_WS30)" "$(services_of WS30 "$port")"
  check "dst-new ($port): no service WS03" bash -c '! grep -qx "dn: $2" <<<"$1"' _ "$out" "$(services_of WS03 "$port")"
  check "dst-new ($port): WS01 keyed by NEW_SID_WS01" \
    pair_has "$out" "$port" "orvexKVObjectSid: $(ids_value NEW_SID_WS01)"
done
out=$(lab_search -ZZ -H "ldap://$KV_LAB_LDS_HOST:51000" -b "CN=Organizational Units,$KV_LAB_DST_SD_DN" \
  -s one dn 2>&1) || true
check "dst-new: no containers" bash -c '! grep -q "^dn: " <<<"$1" && ! grep -q "^ldap_" <<<"$1"' _ "$out"

"$LAB_DIR/reset" dst-sd dst-gc
out=$(target_pair)
for port in 51000 51002; do
  check "default ($port): the security domain is tied to ad again" \
    pair_has "$out" "$port" "orvexKVObjectGuid: $ad_guid"
  check "default ($port): service WS03 is back" has_line "$out" "dn: $(services_of WS03 "$port")"
  check "default ($port): no service WS30" bash -c '! grep -qx "dn: $2" <<<"$1"' _ "$out" "$(services_of WS30 "$port")"
done

finish
