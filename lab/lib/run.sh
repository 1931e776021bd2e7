# shellcheck shell=bash
# Running the lab: the Samba processes, the forwarders, readiness checks, and the files that
# clients read (environment file, registry file, krb5.conf).

# A pid file holds "pid start-time": the start time tells our process from a later one that
# happens to get the same pid (Samba rewrites its command line, so that cannot tell them apart).
# A zombie counts as gone: nothing may reap it soon when its parent was the init process.
proc_start_time() {
  [[ -r /proc/$1/stat ]] && sed -n "s/.*) \([^Z]\) /\1 /p" "/proc/$1/stat" | cut -d" " -f20
}

record_pid() { printf '%s %s\n' "$1" "$(proc_start_time "$1")" >"$2"; }

recorded_alive() {
  local pid start
  [[ -f $1 ]] || return 1
  read -r pid start <"$1" || return 1
  [[ $pid =~ ^[0-9]+$ && -n $start ]] || return 1
  [[ $(proc_start_time "$pid") == "$start" ]]
}

stop_recorded() {
  local pidfile=$1 pid start tries=100
  if recorded_alive "$pidfile"; then
    read -r pid start <"$pidfile"
    kill "$pid" 2>/dev/null || true
    while ((tries-- > 0)) && recorded_alive "$pidfile"; do sleep 0.1; done
    if recorded_alive "$pidfile"; then
      log "pid $pid did not stop on SIGTERM; killing it"
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$pidfile"
}

instance_ports() {
  if [[ $1 == ad ]]; then echo "389 636 88"; else echo "389 636"; fi
}

instance_up() {
  local inst=$1 port
  recorded_alive "$PID_DIR/$inst.pid" || return 1
  for port in $(instance_ports "$inst"); do port_open "${INST_IP[$inst]}" "$port" || return 1; done
}

# A server the lab starts keeps no descriptor of the command that started it: under
# `flock "$KV_LAB_HOME/tests.lock" lab/reset ...` it would otherwise hold the tests' lock for as
# long as it runs, and every lab test after it would wait for ever.
detach_fds() {
  local fd
  for fd in /proc/self/fd/*; do
    fd=${fd##*/}
    [[ $fd =~ ^[0-9]+$ ]] && ((fd > 2)) && eval "exec $fd>&-"
  done
  return 0
}

start_instance() {
  local inst=$1
  instance_up "$inst" && return 0
  stop_recorded "$PID_DIR/$inst.pid"
  # samba -i needs an open standard input; /dev/null keeps it from reading a terminal.
  (detach_fds; exec setsid samba -s "$(inst_conf "$inst")" -i -M single --no-process-group) \
    </dev/null >>"$LOG_DIR/$inst.log" 2>&1 &
  record_pid $! "$PID_DIR/$inst.pid"
}

stop_instance() {
  local inst=$1 port
  stop_recorded "$PID_DIR/$inst.pid"
  for port in $(instance_ports "$inst"); do
    wait_port_free "${INST_IP[$inst]}" "$port" || die "port ${INST_IP[$inst]}:$port is still in use"
  done
}

# Readiness: the ports accept connections and the root entry answers an LDAP search.
wait_instance() {
  local inst=$1 ip=${INST_IP[$1]} port
  for port in $(instance_ports "$inst"); do
    wait_port "$ip" "$port" 600 || die "$inst does not listen on $ip:$port, see $LOG_DIR/$inst.log"
  done
  ldapsearch -x -LLL -o nettimeout=10 -H "ldap://$ip" -s base -b '' dn >/dev/null 2>&1 ||
    die "$inst does not answer LDAP, see $LOG_DIR/$inst.log"
}

# restore_instance INSTANCE [TAG]: the seeded state, by default or of the variant with that tag.
# Every template was taken from this very path, so the absolute paths inside it stay right.
restore_instance() {
  local inst=$1 template
  template=$(template_of "$inst" "${2:-}")
  [[ -d $template ]] || die "no template ${template##*/} (run lab/up)"
  rm -rf "${RUN_DIR:?}/$inst"
  cp -a "$template" "$RUN_DIR/$inst"
}

forward_pidfile() { printf '%s/forward-%s.pid' "$PID_DIR" "$1"; }

start_forwarders() {
  local fwd port inst target
  for fwd in "${FORWARDS[@]}"; do
    read -r port inst target <<<"$fwd"
    recorded_alive "$(forward_pidfile "$port")" && port_open "$FORWARD_IP" "$port" && continue
    stop_recorded "$(forward_pidfile "$port")"
    (detach_fds; exec setsid socat -lf "$LOG_DIR/forward-$port.log" \
      "TCP-LISTEN:$port,bind=$FORWARD_IP,reuseaddr,fork,backlog=128" \
      "TCP:${INST_IP[$inst]}:$target") </dev/null >/dev/null 2>&1 &
    record_pid $! "$(forward_pidfile "$port")"
  done
  for fwd in "${FORWARDS[@]}"; do
    read -r port inst target <<<"$fwd"
    wait_port "$FORWARD_IP" "$port" || die "forwarder on port $port did not start"
  done
}

stop_forwarders() {
  local fwd port inst target
  for fwd in "${FORWARDS[@]}"; do
    read -r port inst target <<<"$fwd"
    stop_recorded "$(forward_pidfile "$port")"
    wait_port_free "$FORWARD_IP" "$port" || die "port $FORWARD_IP:$port is still in use"
  done
}

forwarders_up() {
  local fwd port inst target
  for fwd in "${FORWARDS[@]}"; do
    read -r port inst target <<<"$fwd"
    recorded_alive "$(forward_pidfile "$port")" && port_open "$FORWARD_IP" "$port" || return 1
  done
}

lab_up() {
  local inst
  for inst in "${INSTANCES[@]}"; do instance_up "$inst" || return 1; done
  forwarders_up
}

write_krb5_conf() {
  local realm=${INST_REALM[ad]^^} domain=${INST_REALM[ad]}
  cat >"$STATE_DIR/krb5.conf" <<EOF
# Kerberos for the directory lab: the KDC of \`ad\`, no DNS look-ups, no host-name rewriting.
[libdefaults]
	default_realm = $realm
	dns_lookup_kdc = false
	dns_lookup_realm = false
	rdns = false
	dns_canonicalize_hostname = false
	forwardable = true

[realms]
	$realm = {
		kdc = ${INST_IP[ad]}
		admin_server = ${INST_IP[ad]}
	}

[domain_realm]
	${INST_IP[ad]} = $realm
	.$domain = $realm
	$domain = $realm
EOF
}

# The registry of the management server that runs the program, as `reg export` writes it
# (UTF-16LE with a byte-order mark, CR LF line ends). The old server was a Russian Windows: its
# ANSI code page (1251) is what the group-policy templates on sysvol are written in.
write_registry() {
  local oms_sid unc=$STATE_DIR/unc server=$STATE_DIR/server/ trace=$STATE_DIR/trace/
  oms_sid=$(conf_value SID_KVOMS "$IDS_FILE")
  mkdir -p "$unc" "$server" "$trace" "$server/en-us"
  # \\corp.local\sysvol\... resolves to <UncRoot>/corp.local/sysvol/...
  mkdir -p "$unc/${INST_REALM[ad]}"
  ln -sfn "$RUN_DIR/ad/state/sysvol" "$unc/${INST_REALM[ad]}/sysvol"
  if [[ -d $LAB_DIR/seed/files/server ]]; then cp -r "$LAB_DIR/seed/files/server/." "$server"; fi
  {
    printf '\xef\xbb\xbf'
    cat <<EOF
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]
"TavisServerInstallDir"="$server"
"ProductLocale"="en-us"
"UncRoot"="$unc"
"ComputerSid"="$oms_sid"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5\\LdapHelper]
"SearchTimeout"=dword:0000003c

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvion\\Korvant Suite]
"ProductLocale"="en-us"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]
"TracePath"="$trace"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]
"ACP"="1251"

EOF
  } | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE >"$STATE_DIR/registry.reg.new"
  mv "$STATE_DIR/registry.reg.new" "$STATE_DIR/registry.reg"
}

# The identifiers a test needs to find the seeded objects (NAME=value lines).
write_ids() {
  local ids=$LAB_DIR/seed/ids.conf inst
  {
    grep -v '^#' "$ids" | grep .
    cat "$AD_IDS"
    echo "SRC_SD_DN=CN={$(conf_value SRC_SD_ID "$ids")},${INST_NC[src-sd]}"
    echo "SRC_GC_SD_DN=CN={$(conf_value SRC_SD_ID "$ids")},${INST_NC[src-gc]}"
    echo "DST_SD_DN=CN={$(conf_value DST_SD_ID "$ids")},${INST_NC[dst-sd]}"
    echo "DST_GC_SD_DN=CN={$(conf_value DST_SD_ID "$ids")},${INST_NC[dst-gc]}"
    # Later domains go last, so the lines of `ad` keep their places.
    for inst in "${INSTANCES[@]}"; do
      if is_domain "$inst" && [[ $inst != ad ]]; then cat "$(domain_ids_file "$inst")"; fi
    done
  } >"$IDS_FILE.new"
  mv "$IDS_FILE.new" "$IDS_FILE"
}

write_env() {
  local inst var ids=$IDS_FILE
  {
    echo "# Directory lab settings for clients; written by lab/up. Source it: . $ENV_FILE"
    echo "export KV_LAB_HOME='$KV_LAB_HOME'"
    echo "export KV_LAB_ENV='$ENV_FILE'"
    echo "export KV_LAB_IDS='$IDS_FILE'"
    echo "export LDAPTLS_CACERT='$TLS_DIR/ca.pem'"
    echo "export KV_REGISTRY_FILE='$STATE_DIR/registry.reg'"
    echo "export SecurityServerDir='$STATE_DIR/server/'"
    echo "export KRB5_CONFIG='$STATE_DIR/krb5.conf'"
    # Kerberos binds name the server by the address the client was given.
    echo "export LDAPSASL_NOCANON=on"
    for inst in "${INSTANCES[@]}"; do
      var=${inst^^}; var=${var//-/_}
      echo "export KV_LAB_${var}='${INST_IP[$inst]}'"
      echo "export KV_LAB_${var}_NC='${INST_NC[$inst]}'"
    done
    echo "export KV_LAB_LDS_HOST='$FORWARD_IP'"
    echo "export KV_LAB_SRC_PORTS='50000:50002'"
    echo "export KV_LAB_DST_PORTS='51000:51002'"
    echo "export KV_LAB_REALM='${INST_REALM[ad]^^}'"
    echo "export KV_LAB_DOMAIN='$WORKGROUP'"
    echo "export KV_LAB_USER='$WORKGROUP\\Administrator'"
    echo "export KV_LAB_USER_UPN='Administrator@${INST_REALM[ad]}'"
    echo "export KV_LAB_USER_DN='CN=Administrator,CN=Users,${INST_NC[ad]}'"
    echo "export KV_LAB_KRB5_PRINCIPAL='Administrator@${INST_REALM[ad]^^}'"
    # Names some clients use for the same settings.
    echo "export KV_LAB_PRINCIPAL='Administrator@${INST_REALM[ad]^^}'"
    echo "export KV_LAB_ADMIN='$WORKGROUP\\Administrator'"
    echo "export KV_LAB_AD_HOST='${INST_IP[ad]}'"
    echo "export KV_LAB_PASSWORD_FILE='$PASSWORD_FILE'"
    echo "export KV_LAB_PASSWORD='$(read_password)'"
    echo "export KV_LAB_OMS_SID='$(conf_value SID_KVOMS "$ids")'"
    echo "export KV_LAB_AD_DOMAIN_GUID='$(conf_value AD_DOMAIN_GUID "$ids")'"
    echo "export KV_LAB_NEW_OMS_SID='$(conf_value NEW_SID_KVOMS "$ids")'"
    echo "export KV_LAB_NEW_DOMAIN_GUID='$(conf_value NEW_DOMAIN_GUID "$ids")'"
    echo "export KV_LAB_SRC_SD_ID='$(conf_value SRC_SD_ID "$ids")'"
    echo "export KV_LAB_DST_SD_ID='$(conf_value DST_SD_ID "$ids")'"
    echo "export KV_LAB_SRC_SD_DN='$(conf_value SRC_SD_DN "$ids")'"
    echo "export KV_LAB_DST_SD_DN='$(conf_value DST_SD_DN "$ids")'"
    echo "export KV_LAB_UNC_ROOT='$STATE_DIR/unc'"
    echo "export KV_LAB_TRACE_DIR='$STATE_DIR/trace'"
  } >"$ENV_FILE.new"
  chmod 600 "$ENV_FILE.new"
  mv "$ENV_FILE.new" "$ENV_FILE"
}
