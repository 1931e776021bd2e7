# shellcheck shell=bash
# Provisioning of one instance: a fresh Samba AD DC under $RUN_DIR/<instance>, with a
# configuration that keeps every path inside that folder, the lab password on the administrator,
# and password ageing and complexity switched off.

ensure_password() {
  [[ -s $PASSWORD_FILE ]] && return 0
  mkdir -p "$SECRET_DIR"
  chmod 700 "$SECRET_DIR"
  local pw
  # Letters and digits only, so the value needs no quoting anywhere; the suffix keeps every
  # character class present.
  pw=$(openssl rand -hex 12)Kv7q
  (umask 077; printf '%s' "$pw" >"$PASSWORD_FILE")
}

write_smb_conf() {
  local inst=$1 dir services=ldap
  dir=$(inst_dir "$inst")
  [[ $inst == ad ]] && services="ldap kdc"
  mkdir -p "$dir"/{etc,run,lock,cache,state,log,private,bind-dns}
  cat >"$dir/etc/smb.conf" <<EOF
# Lab instance $inst; written by lab/up, every path stays inside this folder.
[global]
	netbios name = ${INST_HOST[$inst]}
	realm = ${INST_REALM[$inst]^^}
	workgroup = $WORKGROUP
	server role = active directory domain controller
	server services = $services
	interfaces = ${INST_IP[$inst]}/8
	bind interfaces only = yes
	private dir = $dir/private
	lock directory = $dir/lock
	state directory = $dir/state
	cache directory = $dir/cache
	pid directory = $dir/run
	ncalrpc dir = $dir/run/ncalrpc
	winbindd socket directory = $dir/run/winbindd
	ntp signd socket directory = $dir/run/ntp_signd
	binddns dir = $dir/bind-dns
	log file = $dir/log/samba.log
	max log size = 10000
	log level = 1
	panic action =
	ldb:nosync = true
	ldap server require strong auth = no
	dsdb:schema update allowed = true
	tls enabled = yes
	tls keyfile = $TLS_DIR/server.key
	tls certfile = $TLS_DIR/server.pem
	tls cafile = $TLS_DIR/ca.pem
	tls dh params file = $TLS_DIR/dh.pem
EOF
}

# LDIF (on standard output) that gives the administrator the lab password and turns password
# ageing, history and complexity off. On every instance but `ad` the administrator also gets the
# UPN Administrator@corp.local, so the domain login forms work there as well (on ad-new too: one
# login for the whole lab).
admin_ldif() {
  local inst=$1 nc=${INST_NC[$1]} pw
  pw=$(read_password)
  printf 'dn: CN=Administrator,CN=Users,%s\nchangetype: modify\n' "$nc"
  printf 'replace: unicodePwd\nunicodePwd:text16: "%s"\n-\n' "$pw"
  printf 'replace: userAccountControl\nuserAccountControl: 66048\n-\n'
  if [[ $inst != ad ]]; then
    printf 'replace: userPrincipalName\nuserPrincipalName: Administrator@corp.local\n-\n'
  fi
  printf '\ndn: %s\nchangetype: modify\n' "$nc"
  printf 'replace: pwdProperties\npwdProperties: 0\n-\n'
  printf 'replace: maxPwdAge\nmaxPwdAge: -9223372036854775808\n-\n'
  printf 'replace: minPwdAge\nminPwdAge: 0\n-\n'
  printf 'replace: pwdHistoryLength\npwdHistoryLength: 0\n-\n'
  printf 'replace: lockoutThreshold\nlockoutThreshold: 0\n-\n'
}

# On AD LDS the users container holds product users only; Samba's built-in accounts would look
# like users without a product SID, so they move to a container of their own.
move_builtin_accounts() {
  local inst=$1 nc=${INST_NC[$1]} sam dn
  sam=$(inst_sam "$inst")
  printf 'dn: CN=Lab Accounts,%s\nobjectClass: container\n' "$nc" | ldbadd -H "$sam" >/dev/null
  ldbsearch -H "$sam" -b "CN=Users,$nc" -s one '(objectCategory=person)' dn 2>/dev/null |
    sed -n 's/^dn: //p' | while read -r dn; do
      ldbrename -H "$sam" "$dn" "${dn%%,*},CN=Lab Accounts,$nc" >/dev/null
    done
}

provision_instance() {
  local inst=$1 dir logf
  dir=$(inst_dir "$inst")
  logf=$LOG_DIR/provision-$inst.log
  rm -rf "$dir"
  # The administrator password given here is replaced right after; it is random and unkept.
  samba-tool domain provision --targetdir="$dir" --realm="${INST_REALM[$inst]}" \
    --domain="$WORKGROUP" --server-role=dc --dns-backend=NONE \
    --host-name="${INST_HOST[$inst]}" --domain-sid="${INST_SID[$inst]}" \
    --adminpass="$(openssl rand -hex 12)Aa1" \
    --option="interfaces=${INST_IP[$inst]}/8" --option="bind interfaces only=yes" \
    --option="ldb:nosync=true" >"$logf" 2>&1 ||
    die "provisioning $inst failed, see $logf"
  write_smb_conf "$inst"
  admin_ldif "$inst" | LC_ALL=C awk -f "$LAB_DIR/lib/ldif.awk" |
    ldbmodify -H "$(inst_sam "$inst")" >>"$logf" 2>&1 || die "setting up the administrator of $inst failed"
  if ! is_domain "$inst"; then
    move_builtin_accounts "$inst" >>"$logf" 2>&1 || die "moving the built-in accounts of $inst failed"
  fi
}
