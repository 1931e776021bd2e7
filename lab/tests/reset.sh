#!/usr/bin/env bash
# lab/reset brings an instance back to its seeded state: change dst-sd, reset it, and find the
# seed again.
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

finish
