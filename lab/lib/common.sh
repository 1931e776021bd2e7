# shellcheck shell=bash
# Shared facts of the directory lab: where things live, the six instances, the variants of the
# target pair, the forwarders, and small helpers for processes and ports. Sourced by every lab
# command.

LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KV_LAB_HOME=${KV_LAB_HOME:-/var/tmp/kvlab}
# Absolute, since the instances' configuration files name paths inside it.
[[ $KV_LAB_HOME == /* ]] || KV_LAB_HOME=$PWD/$KV_LAB_HOME

# Instance table. Every instance is a Samba AD DC on its own loopback address; the NetBIOS domain
# is CORP everywhere so that one login (CORP\Administrator) works on the whole lab, as a domain
# account does on real AD LDS instances.
INSTANCES=(ad src-sd src-gc dst-sd dst-gc ad-new)
WORKGROUP=CORP
declare -A INST_IP=([ad]=127.0.0.10 [src-sd]=127.0.0.11 [src-gc]=127.0.0.12
                    [dst-sd]=127.0.0.13 [dst-gc]=127.0.0.14 [ad-new]=127.0.0.15)
declare -A INST_REALM=([ad]=corp.local [src-sd]=Korvant [src-gc]=Korvant-GC
                       [dst-sd]=Korvant [dst-gc]=Korvant-GC [ad-new]=new.local)
declare -A INST_NC=([ad]='DC=corp,DC=local' [src-sd]=DC=korvant [src-gc]=DC=korvant-gc
                    [dst-sd]=DC=korvant [dst-gc]=DC=korvant-gc [ad-new]='DC=new,DC=local')
declare -A INST_HOST=([ad]=DC1 [src-sd]=SRCSD [src-gc]=SRCGC [dst-sd]=DSTSD [dst-gc]=DSTGC
                      [ad-new]=DC2)
declare -A INST_SID=([ad]=S-1-5-21-2750934112-1638409244-3154960710
                     [src-sd]=S-1-5-21-2750934112-1638409244-3154960711
                     [src-gc]=S-1-5-21-2750934112-1638409244-3154960712
                     [dst-sd]=S-1-5-21-2750934112-1638409244-3154960713
                     [dst-gc]=S-1-5-21-2750934112-1638409244-3154960714
                     [ad-new]=S-1-5-21-2750934112-1638409244-3154960715)
# Which storage pair an AD LDS instance belongs to.
declare -A INST_PAIR=([src-sd]=src [src-gc]=src [dst-sd]=dst [dst-gc]=dst)
# The Active Directory domains and the prefix of their identifiers in the ids file: `ad` came
# first and owns the bare names (SID_WS01, AD_DOMAIN_GUID), so later domains need a prefix.
declare -A DOMAIN_PREFIX=([ad]='' [ad-new]=NEW_)
# The domain a pair's security domain is tied to by default.
declare -A PAIR_DOMAIN=([src]=ad [dst]=ad)

# Variants: a pair's instances seeded from seed/<variant> instead of the pair's folders, with
# their security domain tied to another domain. Each has its own templates (<instance>@<tag>),
# so switching is a reset, not a rebuild.
VARIANTS=(dst-new)
declare -A VARIANT_PAIR=([dst-new]=dst)
declare -A VARIANT_TAG=([dst-new]=new)
declare -A VARIANT_DOMAIN=([dst-new]=ad-new)

# Forwarders: "listen-port instance target-port". The program reaches a pair through one host
# and two ports, so 127.0.0.1 carries both instances of a pair.
FORWARDS=("50000 src-sd 389" "50001 src-sd 636" "50002 src-gc 389" "50003 src-gc 636"
          "51000 dst-sd 389" "51001 dst-sd 636" "51002 dst-gc 389" "51003 dst-gc 636")
FORWARD_IP=127.0.0.1

RUN_DIR=$KV_LAB_HOME/run            # live instances
TEMPLATE_DIR=$KV_LAB_HOME/template  # stopped, seeded copies that reset restores
PID_DIR=$KV_LAB_HOME/pids
LOG_DIR=$KV_LAB_HOME/logs
TLS_DIR=$KV_LAB_HOME/tls
SECRET_DIR=$KV_LAB_HOME/secret
STATE_DIR=$KV_LAB_HOME/state        # registry file, trace folder, krb5.conf, identifiers
PASSWORD_FILE=$SECRET_DIR/admin-password
IDS_FILE=$STATE_DIR/ids
ENV_FILE=$KV_LAB_HOME/env

log() { printf 'lab: %s\n' "$*" >&2; }
die() { printf 'lab: error: %s\n' "$*" >&2; exit 1; }

need_root() {
  [[ $(id -u) -eq 0 ]] || die "the lab runs Samba domain controllers and needs root"
}

# One lab command at a time per KV_LAB_HOME: bring-up, reset, stop and seeding all change the
# same folders and processes.
lab_lock() {
  mkdir -p "$KV_LAB_HOME"
  exec 9>"$KV_LAB_HOME/lock"
  flock 9
}

inst_dir() { printf '%s/%s' "$RUN_DIR" "$1"; }
inst_conf() { printf '%s/%s/etc/smb.conf' "$RUN_DIR" "$1"; }
inst_sam() { printf '%s/%s/private/sam.ldb' "$RUN_DIR" "$1"; }
valid_instance() { [[ -n ${INST_IP[$1]+x} ]]; }
is_domain() { [[ -n ${DOMAIN_PREFIX[$1]+x} ]]; }
valid_variant() { [[ -n ${VARIANT_PAIR[$1]+x} ]]; }
pair_instances() {
  local inst
  for inst in "${INSTANCES[@]}"; do [[ ${INST_PAIR[$inst]:-} == "$1" ]] && printf '%s\n' "$inst"; done
  return 0
}
# Template of an instance, or of its variant with that tag.
template_of() { printf '%s/%s%s' "$TEMPLATE_DIR" "$1" "${2:+@$2}"; }

port_open() { timeout 1 bash -c ": </dev/tcp/$1/$2" 2>/dev/null; }

wait_port() {
  local ip=$1 port=$2 tries=${3:-300}
  while ((tries-- > 0)); do
    port_open "$ip" "$port" && return 0
    sleep 0.1
  done
  return 1
}

port_listening() {
  ss -Hltn "sport = :$2" 2>/dev/null | awk -v a="$1:$2" '$4 == a { found = 1 } END { exit !found }'
}

wait_port_free() {
  local ip=$1 port=$2 tries=${3:-300}
  while ((tries-- > 0)); do
    port_listening "$ip" "$port" || return 0
    sleep 0.1
  done
  return 1
}

read_password() { [[ -s $PASSWORD_FILE ]] || die "no lab password yet (run lab/up)"; cat "$PASSWORD_FILE"; }
