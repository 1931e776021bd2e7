# shellcheck shell=bash
# Seeding of the stopped instances straight through their databases (fast, and allowed to set
# fixed objectGUIDs). `ad` is seeded first; the identifiers Samba gave its objects then fill the
# templates of the AD LDS instances, as a real installation refers to its domain.

BUILD_DIR=$KV_LAB_HOME/build
AD_IDS=$BUILD_DIR/ad-ids

conf_value() { sed -n "s/^$1=//p" "$2" | tail -n 1; }

# Identifiers of `ad`: the domain, and for every account SID_<NAME>/GUID_<NAME> (NAME = the
# account name in upper case, without the trailing $ of computers), for every organisational
# unit GUID_OU_<NAME>.
read_ad_ids() {
  local sam nc=${INST_NC[ad]}
  sam=$(inst_sam ad)
  {
    echo "AD_DN=$nc"
    echo "AD_DOMAIN_SID=${INST_SID[ad]}"
    ldbsearch -H "$sam" -s base -b "$nc" objectGUID 2>/dev/null | sed -n 's/^objectGUID: /AD_DOMAIN_GUID=/p'
    ldbsearch -H "$sam" -b "$nc" '(|(objectClass=user)(objectClass=organizationalUnit))' \
      name sAMAccountName objectSid objectGUID objectClass 2>/dev/null | awk '
        function flush(   key) {
          if (guid != "") {
            if (account != "") {
              key = toupper(account); sub(/\$$/, "", key); gsub(/[^A-Z0-9]/, "_", key)
              print "SID_" key "=" sid; print "GUID_" key "=" guid
            } else if (ou) {
              key = toupper(name); gsub(/[^A-Z0-9]/, "_", key)
              print "GUID_OU_" key "=" guid
            }
          }
          account = ""; sid = ""; guid = ""; name = ""; ou = 0
        }
        /^dn: / { flush() }
        /^name: / { name = substr($0, 7) }
        /^sAMAccountName: / { account = substr($0, 17) }
        /^objectSid: / { sid = $2 }
        /^objectGUID: / { guid = $2 }
        /^objectClass: organizationalUnit$/ { ou = 1 }
        END { flush() }' | sort
  } >"$AD_IDS.new"
  mv "$AD_IDS.new" "$AD_IDS"
}

# The variables file of one instance: fixed identifiers, those of `ad`, and the instance's own.
instance_vars() {
  local inst=$1 out=$BUILD_DIR/vars-$1 ids=$LAB_DIR/seed/ids.conf pair sd_id
  {
    grep -v '^#' "$ids"
    [[ -f $AD_IDS ]] && cat "$AD_IDS"
    echo "INSTANCE=$inst"
    echo "NC=${INST_NC[$inst]}"
    if [[ $inst == ad ]]; then
      echo "SCHEMA_MAJOR=7"; echo "SCHEMA_MINOR=16"
    else
      pair=${INST_PAIR[$inst]}
      sd_id=$(conf_value "${pair^^}_SD_ID" "$ids")
      echo "SD_ID=$sd_id"
      echo "SD_DN=CN={$sd_id},${INST_NC[$inst]}"
      if [[ $pair == src ]]; then
        echo "SCHEMA_MAJOR=7"; echo "SCHEMA_MINOR=16"
      else
        echo "SCHEMA_MAJOR=8"; echo "SCHEMA_MINOR=19"
      fi
    fi
  } >"$out"
  printf '%s' "$out"
}

# Seed files of an instance, in the order of their numeric prefixes: seed/all, then for AD LDS
# seed/lds and the pair's folder (seed/src or seed/dst), and the instance's own folder.
seed_files() {
  local inst=$1 dirs=(all) d f
  if [[ $inst == ad ]]; then dirs+=(ad); else dirs+=(lds "${INST_PAIR[$inst]}" "$inst"); fi
  for d in "${dirs[@]}"; do
    for f in "$LAB_DIR/seed/$d"/*.ldif.in; do
      [[ -e $f ]] && printf '%s\t%s\n' "$(basename "$f")" "$f"
    done
  done | sort | cut -f2
}

seed_instance() {
  local inst=$1 sam file vars logf=$LOG_DIR/provision-$1.log
  sam=$(inst_sam "$inst")
  while read -r file; do
    # `ad` identifiers grow with every file of `ad`, so its variables are read again each time.
    [[ $inst == ad ]] && read_ad_ids
    vars=$(instance_vars "$inst")
    echo "== $file" >>"$logf"
    fill_template "$vars" "$file" ldb | ldbmodify --relax -H "$sam" >>"$logf" 2>&1 ||
      die "seeding $inst with $(basename "$file") failed, see $logf"
  done < <(seed_files "$inst")
  [[ $inst == ad ]] && read_ad_ids
  return 0
}

# Folders of the group-policy objects on the domain's sysvol share; files kept under
# seed/sysvol/<GUID>/ (such as MACHINE/Microsoft/Windows NT/SecEdit/GptKorvant.inf) are copied in.
seed_sysvol() {
  local policies key guid
  policies=$(inst_dir ad)/state/sysvol/${INST_REALM[ad]}/Policies
  for key in $(grep -o '^GPO_[A-Z_]*' "$LAB_DIR/seed/ids.conf"); do
    guid=$(conf_value "$key" "$LAB_DIR/seed/ids.conf")
    mkdir -p "$policies/$guid/MACHINE/Microsoft/Windows NT/SecEdit" "$policies/$guid/USER"
    [[ -f $policies/$guid/GPT.INI ]] || printf '[General]\r\nVersion=1\r\n' >"$policies/$guid/GPT.INI"
  done
  if compgen -G "$LAB_DIR/seed/sysvol/{*}" >/dev/null; then
    cp -r "$LAB_DIR"/seed/sysvol/{*} "$policies/"
  fi
}

# Kerberos: the KDC runs on `ad` only; the service principal for the address that clients
# connect to goes on the domain controller's account.
seed_kerberos() {
  samba-tool spn add "ldap/${INST_IP[ad]}" "${INST_HOST[ad]}\$" -s "$(inst_conf ad)" \
    -H "$(inst_sam ad)" >>"$LOG_DIR/provision-ad.log" 2>&1 || die "adding the ldap service principal failed"
}
