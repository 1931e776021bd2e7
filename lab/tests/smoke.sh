#!/usr/bin/env bash
# What the program relies on from each lab instance, proven with the OpenLDAP tools: binds over
# StartTLS and LDAPS with the lab CA, the critical security-descriptor-flags control, SID-string
# filters on product attributes, the identity attributes of computers, the schema version, and a
# Kerberos bind without a password; the second domain, whose computers keep the DNS names of the
# first under other SIDs; and what the export of the Oms section reads beyond the storages: the
# product's group-policy templates as a Russian Windows server wrote them, the links to them and
# the old server's code page.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

# The security-descriptor-flags control (owner, group and DACL), marked critical.
SD_FLAGS='!1.2.840.113556.1.4.801=::MAMCAQc='

declare -A NC=([ad]=$KV_LAB_AD_NC [src-sd]=$KV_LAB_SRC_SD_NC [src-gc]=$KV_LAB_SRC_GC_NC
               [dst-sd]=$KV_LAB_DST_SD_NC [dst-gc]=$KV_LAB_DST_GC_NC [ad-new]=$KV_LAB_AD_NEW_NC)
declare -A HOST=([ad]=$KV_LAB_AD [src-sd]=$KV_LAB_SRC_SD [src-gc]=$KV_LAB_SRC_GC
                 [dst-sd]=$KV_LAB_DST_SD [dst-gc]=$KV_LAB_DST_GC [ad-new]=$KV_LAB_AD_NEW)
# How the program reaches each instance: plain (StartTLS) port and TLS port.
declare -A PORTS=([ad]="389 636" [src-sd]="50000 50001" [src-gc]="50002 50003"
                  [dst-sd]="51000 51001" [dst-gc]="51002 51003" [ad-new]="389 636")
declare -A VERSION=([ad]="7 16" [src-sd]="7 16" [src-gc]="7 16" [dst-sd]="8 19" [dst-gc]="8 19"
                    [ad-new]="7 16")

oms_sid=$KV_LAB_OMS_SID
ws01_sid=$(ids_value SID_WS01)
new_ws01_sid=$(ids_value NEW_SID_WS01)
# The domains are reached at their own addresses, the AD LDS instances through the forwarders.
is_domain() { [[ $1 == ad || $1 == ad-new ]]; }

for inst in ad src-sd src-gc dst-sd dst-gc ad-new; do
  nc=${NC[$inst]}
  read -r plain tls <<<"${PORTS[$inst]}"
  host=${HOST[$inst]}
  is_domain "$inst" || host=$KV_LAB_LDS_HOST

  # A base search of the naming context is refused without authentication, so its answer
  # proves the bind.
  out=$(lab_search -ZZ -H "ldap://$host:$plain" -s base -b "$nc" dn 2>&1) || true
  check "$inst: StartTLS bind on $host:$plain" has_line "$out" "dn: $nc"
  out=$(lab_search -H "ldaps://$host:$tls" -s base -b "$nc" dn 2>&1) || true
  check "$inst: LDAPS bind on $host:$tls" has_line "$out" "dn: $nc"
  if ! is_domain "$inst"; then
    out=$(lab_search -ZZ -H "ldap://${HOST[$inst]}" -s base -b "$nc" dn 2>&1) || true
    check "$inst: StartTLS bind on its own address ${HOST[$inst]}" has_line "$out" "dn: $nc"
  fi
  admin_dn="CN=Administrator,CN=Lab Accounts,$nc"
  is_domain "$inst" && admin_dn="CN=Administrator,CN=Users,$nc"
  for login in "$KV_LAB_USER_UPN" "$admin_dn"; do
    out=$(ldapsearch -LLL -x -ZZ -H "ldap://$host:$plain" -D "$login" -y "$KV_LAB_PASSWORD_FILE" \
      -s base -b "$nc" dn 2>&1) || true
    check "$inst: bind as $login" has_line "$out" "dn: $nc"
  done

  out=$(lab_search -ZZ -H "ldap://$host:$plain" -E "$SD_FLAGS" -s base -b "$nc" nTSecurityDescriptor 2>&1) || true
  check "$inst: critical security-descriptor-flags control accepted" grep -q '^nTSecurityDescriptor::' <<<"$out"
  # An unknown critical control is refused; Samba then leaves the search open, hence the time-out.
  out=$(timeout 3 ldapsearch -LLL -x -ZZ -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" \
    -H "ldap://$host:$plain" -E '!1.2.3.4.5.6.7' -s base -b "$nc" dn 2>&1) || true
  check "$inst: an unknown critical control is refused" grep -qF 'unavailable (12)' <<<"$out"

  read -r major minor <<<"${VERSION[$inst]}"
  out=$(lab_search -ZZ -H "ldap://$host:$plain" -s base \
    -b "CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services,CN=Configuration,$nc" \
    orvexKVADSchemaVersion orvexKVADSchemaVersionExtended 2>&1) || true
  check "$inst: schema version $major.$minor readable" \
    bash -c 'grep -qx "orvexKVADSchemaVersion: $1" <<<"$3" && grep -qx "orvexKVADSchemaVersionExtended: $2" <<<"$3"' \
    _ "$major" "$minor" "$out"

  # SID-syntax product attributes match the SID string form in filters.
  if [[ $inst == ad ]]; then
    filter="(&(objectClass=computer)(orvexKVComputerOMSSID=$oms_sid))"
    expect="dn: CN=WS01,CN=Computers,$nc"
  elif [[ $inst == ad-new ]]; then
    filter="(&(objectClass=computer)(objectSid=$new_ws01_sid))"
    expect="dn: CN=WS01,CN=Computers,$nc"
  else
    filter="(&(objectClass=computer)(orvexKVObjectSid=$ws01_sid))"
    expect="dn: CN=WS01,CN=Computers,CN={$([[ $inst == src-* ]] && echo "$KV_LAB_SRC_SD_ID" || echo "$KV_LAB_DST_SD_ID")},$nc"
  fi
  out=$(lab_search -ZZ -H "ldap://$host:$plain" -b "$nc" "$filter" dn 2>&1) || true
  check "$inst: SID-string filter $filter" has_line "$out" "$expect"
done

# Computers of the domain carry what the program reads of them.
out=$(lab_search -ZZ -H "ldap://$KV_LAB_AD" -b "$KV_LAB_AD_NC" "(objectSid=$ws01_sid)" \
  canonicalName objectGUID objectSid dNSHostName 2>&1) || true
check "ad: computer found by its objectSid string" has_line "$out" "dNSHostName: ws01.corp.local"
check "ad: canonicalName present" has_line "$out" "canonicalName: corp.local/Computers/WS01"
check "ad: objectGUID present" grep -q '^objectGUID:: ' <<<"$out"
check "ad: objectSid present" grep -q '^objectSid:: ' <<<"$out"

# The new domain: the same host names, other SIDs; WS03 was renamed WS30, ws04 has no computer.
# readable.awk turns the binary objectSid into its string form.
new_computer() {
  lab_search -ZZ -H "ldap://$KV_LAB_AD_NEW" -b "$KV_LAB_AD_NEW_NC" \
    "(&(objectClass=computer)(dNSHostName=$1))" objectSid 2>&1 | LC_ALL=C awk -f "$LAB_DIR/lib/readable.awk"
}
out=$(new_computer ws01.corp.local) || true
check "ad-new: ws01.corp.local found" has_line "$out" "dn: CN=WS01,CN=Computers,$KV_LAB_AD_NEW_NC"
check "ad-new: its objectSid is the new domain's" has_line "$out" "objectSid: $new_ws01_sid"
check "ad-new: its objectSid differs from SID_WS01 of ad" \
  bash -c '[[ -n $2 && $2 != "$3" ]] && grep -qx "objectSid: $2" <<<"$1"' _ "$out" "$new_ws01_sid" "$ws01_sid"
check "ad-new: NEW_SID_WS01 lies in NEW_DOMAIN_SID" \
  bash -c '[[ $1 == "$2"-* ]]' _ "$new_ws01_sid" "$(ids_value NEW_DOMAIN_SID)"
out=$(new_computer ws30.corp.local) || true
check "ad-new: ws30.corp.local (the renamed WS03) found" has_line "$out" "objectSid: $(ids_value NEW_SID_WS30)"
for name in ws03.corp.local ws04.corp.local; do
  out=$(new_computer "$name") || true
  check "ad-new: no computer $name" bash -c '! grep -q "^dn: " <<<"$1" && ! grep -q "^ldap_" <<<"$1"' _ "$out"
done
out=$(lab_search -ZZ -H "ldap://$KV_LAB_AD_NEW" -s base -b "OU=Sales,$KV_LAB_AD_NEW_NC" objectGUID 2>&1 |
  LC_ALL=C awk -f "$LAB_DIR/lib/readable.awk") || true
check "ad-new: OU=Sales with NEW_GUID_OU_SALES" has_line "$out" "objectGUID: $(ids_value NEW_GUID_OU_SALES)"
check "ids and environment agree on the new domain" \
  bash -c '[[ -n $1 && $1 == "$2" && -n $3 && $3 == "$4" ]]' _ \
  "$KV_LAB_NEW_OMS_SID" "$(ids_value NEW_SID_KVOMS)" "$KV_LAB_NEW_DOMAIN_GUID" "$(ids_value NEW_DOMAIN_GUID)"

# What the export of the Oms section reads besides the storages: the product's templates on the
# sysvol share of `ad`, in the old server's code page, and the group-policy links that lead there.
gpt() { printf '%s/corp.local/sysvol/corp.local/Policies/%s/MACHINE/Microsoft/Windows NT/SecEdit/GptKorvant.inf' \
  "$KV_LAB_UNC_ROOT" "$(ids_value "$1")"; }
# The inflated text of a nibble-string value of a template, as UTF-8.
gpt_value() {
  python3 - "$1" "$2" <<'PY'
import sys, zlib
for line in open(sys.argv[1], "rb").read().decode("cp1251").split("\r\n"):
    key, _, value = line.partition("=")
    if key == sys.argv[2]:
        blob = bytes.fromhex(value)
        assert blob[:4] == b"ZLIB" and sum(blob[:-1]) % 256 == blob[-1]
        text = zlib.decompress(blob[8:-1])
        assert len(text) == int.from_bytes(blob[4:8], "little")
        print(text.decode("cp1251"))
PY
}
check "registry: the old server's ANSI code page is 1251" \
  bash -c 'iconv -f UTF-16LE -t UTF-8 "$1" | tr -d "\r" | grep -qx "\"ACP\"=\"1251\""' _ "$KV_REGISTRY_FILE"
check "sysvol: GPO_SALES template in CP1251 with CR LF" \
  bash -c 'grep -q $'"'"'\r$'"'"' "$1" && iconv -f CP1251 -t UTF-8 "$1" | grep -q "^LogonBanner=Вход только"' _ "$(gpt GPO_SALES)"
out=$(gpt_value "$(gpt GPO_SALES)" Dacs 2>&1) || true
check "sysvol: GPO_SALES Dacs value inflates to a device document" grep -q 'Description="Шина USB"' <<<"$out"
check "sysvol: GPO_DOMAIN template ends with Ctrl-Z" \
  bash -c '[[ $(tail -c 3 "$1" | od -An -tx1 | tr -d " \n") == 0d0a1a ]]' _ "$(gpt GPO_DOMAIN)"
check "sysvol: the Default Domain Policy has no product template" bash -c '[[ ! -e $1 ]]' _ "$(gpt GPO_DEFAULT_DOMAIN)"
out=$(lab_search -ZZ -H "ldap://$KV_LAB_AD" -b "$KV_LAB_AD_NC" '(&(objectClass=organizationalUnit)(ou=Support))' gPLink 2>&1) || true
check "ad: OU Support links GPO_SUPPORT with options 3" grep -qF "$(ids_value GPO_SUPPORT),cn=policies,cn=system,$KV_LAB_AD_NC;3]" <<<"$out"
out=$(lab_search -ZZ -H "ldap://$KV_LAB_AD" -s base -b "$KV_LAB_AD_NC" gPLink 2>&1) || true
check "ad: the domain links a group-policy object that does not exist" grep -qF "cn=$(ids_value MISSING_GPO)," <<<"$out"
out=$(lab_search -ZZ -H "ldap://$KV_LAB_AD" -b "CN=Policies,CN=System,$KV_LAB_AD_NC" \
  "(|(cn=$(ids_value MISSING_GPO))(cn=$(ids_value GPO_SALES)))" dn 2>&1) || true
check "ad: GPO_SALES exists, MISSING_GPO does not" \
  bash -c '[[ $(grep -c "^dn: " <<<"$1") == 1 ]] && grep -qiF "dn: CN=$2," <<<"$1"' _ "$out" "$(ids_value GPO_SALES)"
out=$(lab_search -H "ldap://$KV_LAB_LDS_HOST:50000" -b "$KV_LAB_SRC_SD_DN" "(orvexKVOMSSID=$oms_sid)" \
  orvexKVOMSMailSettings 2>&1 | sed -n 's/^orvexKVOMSMailSettings:: //p' | base64 -d 2>&1) || true
check "src-sd: old-form mail settings with a Cyrillic rule title" grep -qF 'title="Вход и выход пользователей"' <<<"$out"

# Kerberos: a ticket from the lab KDC (password on standard input), then binds without a
# password; over TLS without a SASL security layer.
KRB5CCNAME=FILE:$(mktemp -u "${TMPDIR:-/tmp}/kvlab-krb5cc.XXXXXX")
export KRB5CCNAME
trap 'kdestroy >/dev/null 2>&1 || true' EXIT
if kinit "$KV_LAB_KRB5_PRINCIPAL" <"$KV_LAB_PASSWORD_FILE" >/dev/null 2>&1; then
  ok "kinit $KV_LAB_KRB5_PRINCIPAL"
else
  not_ok "kinit $KV_LAB_KRB5_PRINCIPAL"
fi
for mech in GSSAPI GSS-SPNEGO; do
  out=$(ldapsearch -LLL -N -Q -Y "$mech" -H "ldap://$KV_LAB_AD" -s base -b "$KV_LAB_AD_NC" dn 2>&1) || true
  check "ad: $mech bind with the ticket" has_line "$out" "dn: $KV_LAB_AD_NC"
done
out=$(ldapsearch -LLL -N -Q -Y GSSAPI -O maxssf=0 -ZZ -H "ldap://$KV_LAB_AD" -s base -b "$KV_LAB_AD_NC" dn 2>&1) || true
check "ad: GSSAPI bind over StartTLS without a security layer" has_line "$out" "dn: $KV_LAB_AD_NC"
check "ad: service ticket for ldap/$KV_LAB_AD" bash -c 'klist | grep -q "ldap/$1@"' _ "$KV_LAB_AD"

finish
