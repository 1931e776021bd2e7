# shellcheck shell=bash
# Shared by the lab's smoke tests: finds the running lab through its environment file and counts
# checks. The password never appears on a command line: ldapsearch reads it with -y, kinit from
# standard input.

LAB_TEST_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAB_DIR=$(dirname "$LAB_TEST_DIR")
failures=0

env_file=${KV_LAB_ENV:-${KV_LAB_HOME:-/var/tmp/kvlab}/env}
if [[ ! -r $env_file ]]; then
  echo "FAIL: the directory lab is not up (no $env_file); bring it up with lab/up" >&2
  exit 1
fi
. "$env_file"
if ! timeout 5 ldapsearch -x -LLL -H "ldap://$KV_LAB_AD" -s base -b '' dn >/dev/null 2>&1; then
  echo "FAIL: the directory lab is not running (no answer from $KV_LAB_AD); bring it up with lab/up" >&2
  exit 1
fi

ok() { printf 'ok - %s\n' "$1"; }
not_ok() { printf 'not ok - %s\n' "$1"; failures=$((failures + 1)); }

# check "description" command...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else not_ok "$what"; fi
}

# LDAP search as the lab administrator; prints LDIF without line folding.
lab_search() {
  ldapsearch -LLL -o ldif_wrap=no -o nettimeout=10 -x -D "$KV_LAB_USER" -y "$KV_LAB_PASSWORD_FILE" "$@"
}

# has_line "text" "line": the text holds exactly that line.
has_line() { grep -qxF -- "$2" <<<"$1"; }

ids_value() { sed -n "s/^$1=//p" "$KV_LAB_IDS" | tail -n 1; }

finish() {
  if ((failures)); then
    echo "FAIL: $failures check(s) failed"
    exit 1
  fi
  echo "PASS"
}
