# shellcheck shell=bash
# Seeding of the stopped instances straight through their databases (fast, and allowed to set
# fixed objectGUIDs). The domains (`ad`, `ad-new`) are seeded first; the identifiers Samba gave
# their objects then fill the templates of the AD LDS instances, as a real installation refers to
# its domain.

BUILD_DIR=$KV_LAB_HOME/build
AD_IDS=$BUILD_DIR/ad-ids

conf_value() { sed -n "s/^$1=//p" "$2" | tail -n 1; }

# Identifiers of a domain instance, kept in $BUILD_DIR/<instance>-ids.
domain_ids_file() { printf '%s/%s-ids' "$BUILD_DIR" "$1"; }
# Prefix of its domain-wide names: AD_DN and AD_DOMAIN_GUID for `ad`, NEW_DN for ad-new.
domain_name_prefix() { local p=${DOMAIN_PREFIX[$1]}; printf '%s' "${p:-AD_}"; }

# Identifiers of a domain: the domain, and for every account SID_<NAME>/GUID_<NAME> (NAME = the
# account name in upper case, without the trailing $ of computers), for every organisational
# unit GUID_OU_<NAME>; all behind the domain's prefix.
read_domain_ids() {
  local inst=$1 sam nc=${INST_NC[$1]} out prefix=${DOMAIN_PREFIX[$1]} dprefix
  sam=$(inst_sam "$inst")
  out=$(domain_ids_file "$inst")
  dprefix=$(domain_name_prefix "$inst")
  {
    echo "${dprefix}DN=$nc"
    echo "${dprefix}DOMAIN_SID=${INST_SID[$inst]}"
    ldbsearch -H "$sam" -s base -b "$nc" objectGUID 2>/dev/null | sed -n "s/^objectGUID: /${dprefix}DOMAIN_GUID=/p"
    ldbsearch -H "$sam" -b "$nc" '(|(objectClass=user)(objectClass=organizationalUnit))' \
      name sAMAccountName objectSid objectGUID objectClass 2>/dev/null | awk -v p="$prefix" '
        function flush(   key) {
          if (guid != "") {
            if (account != "") {
              key = toupper(account); sub(/\$$/, "", key); gsub(/[^A-Z0-9]/, "_", key)
              print p "SID_" key "=" sid; print p "GUID_" key "=" guid
            } else if (ou) {
              key = toupper(name); gsub(/[^A-Z0-9]/, "_", key)
              print p "GUID_OU_" key "=" guid
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
  } >"$out.new"
  mv "$out.new" "$out"
}

# The variables file of one instance (of a variant, when given): fixed identifiers, those of the
# domains, and the instance's own. SD_DOMAIN_GUID ties the security domain to its domain, which
# is what a variant changes.
instance_vars() {
  local inst=$1 variant=${2:-} ids=$LAB_DIR/seed/ids.conf out pair sd_id domain d f guid
  out=$BUILD_DIR/vars-$inst${variant:+@${VARIANT_TAG[$variant]}}
  {
    grep -v '^#' "$ids"
    for d in "${INSTANCES[@]}"; do
      # A domain sees only its own identifiers, so seeding the domains in parallel stays
      # deterministic.
      is_domain "$d" || continue
      is_domain "$inst" && [[ $d != "$inst" ]] && continue
      f=$(domain_ids_file "$d")
      [[ -f $f ]] && cat "$f"
    done
    echo "INSTANCE=$inst"
    echo "NC=${INST_NC[$inst]}"
    if is_domain "$inst"; then
      echo "SCHEMA_MAJOR=7"; echo "SCHEMA_MINOR=16"
    else
      pair=${INST_PAIR[$inst]}
      domain=${PAIR_DOMAIN[$pair]}
      [[ -n $variant ]] && domain=${VARIANT_DOMAIN[$variant]}
      guid=$(conf_value "$(domain_name_prefix "$domain")DOMAIN_GUID" "$(domain_ids_file "$domain")" 2>/dev/null)
      [[ -n $guid ]] || die "no identifiers of $domain yet (it is seeded before $inst)"
      sd_id=$(conf_value "${pair^^}_SD_ID" "$ids")
      echo "SD_ID=$sd_id"
      echo "SD_DN=CN={$sd_id},${INST_NC[$inst]}"
      echo "SD_DOMAIN_GUID=$guid"
      if [[ $pair == src ]]; then
        echo "SCHEMA_MAJOR=7"; echo "SCHEMA_MINOR=16"
      else
        echo "SCHEMA_MAJOR=8"; echo "SCHEMA_MINOR=19"
      fi
    fi
  } >"$out"
  printf '%s' "$out"
}

# Seed files of an instance, in the order of their numeric prefixes: seed/all, then for a domain
# its own folder; for AD LDS seed/lds and either the pair's folder (seed/src or seed/dst) and the
# instance's own folder, or the variant's folder alone.
seed_files() {
  local inst=$1 variant=${2:-} dirs=(all) d f
  if is_domain "$inst"; then
    dirs+=("$inst")
  elif [[ -n $variant ]]; then
    dirs+=(lds "$variant")
  else
    dirs+=(lds "${INST_PAIR[$inst]}" "$inst")
  fi
  for d in "${dirs[@]}"; do
    for f in "$LAB_DIR/seed/$d"/*.ldif.in; do
      [[ -e $f ]] && printf '%s\t%s\n' "$(basename "$f")" "$f"
    done
  done | sort | cut -f2
}

# seed_instance INSTANCE [VARIANT]: the stopped instance in the run folder gets the seed.
seed_instance() {
  local inst=$1 variant=${2:-} sam file vars logf=$LOG_DIR/provision-$1.log
  sam=$(inst_sam "$inst")
  while read -r file; do
    # A domain's identifiers grow with every file of it, so its variables are read again each time.
    if is_domain "$inst"; then read_domain_ids "$inst"; fi
    vars=$(instance_vars "$inst" "$variant")
    echo "== $file${variant:+ ($variant)}" >>"$logf"
    fill_template "$vars" "$file" ldb | ldbmodify --relax -H "$sam" >>"$logf" 2>&1 ||
      die "seeding $inst${variant:+ ($variant)} with $(basename "$file") failed, see $logf"
  done < <(seed_files "$inst" "$variant")
  if is_domain "$inst"; then read_domain_ids "$inst"; fi
  return 0
}

# Folders of the group-policy objects on the domain's sysvol share; files kept under
# seed/sysvol/<GUID>/ are copied in. The product's templates (GptKorvant.inf) are bytes a
# Windows server wrote, so they are made from their readable sources in seed/sysvol-src.
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
  python3 "$LAB_DIR/lib/make-gpt.py" "$LAB_DIR/seed/sysvol-src" "$LAB_DIR/seed/ids.conf" "$policies" \
    >>"$LOG_DIR/provision-ad.log" 2>&1 || die "writing the group-policy templates failed, see $LOG_DIR/provision-ad.log"
}

# Kerberos: the KDC runs on `ad` only; the service principal for the address that clients
# connect to goes on the domain controller's account.
seed_kerberos() {
  samba-tool spn add "ldap/${INST_IP[ad]}" "${INST_HOST[ad]}\$" -s "$(inst_conf ad)" \
    -H "$(inst_sam ad)" >>"$LOG_DIR/provision-ad.log" 2>&1 || die "adding the ldap service principal failed"
}
