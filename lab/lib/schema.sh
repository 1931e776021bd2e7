# shellcheck shell=bash
# The product schema, applied to a stopped instance straight through its database. Attributes
# and classes go in separate runs: a class can name an attribute only once the schema has been
# reloaded with it, and every run loads the schema afresh.

# OID arc of the lab's schema (a private arc under the Microsoft extension space).
SCHEMA_OID_BASE=1.2.840.113556.1.8000.2554.29317.47312.18542.37905.9382431.12674093

# Replace "@name@" by the DN of the schema object with that lDAPDisplayName.
resolve_schema_names() {
  local sam=$1 nc=$2 text name dn
  text=$(cat)
  for name in $(grep -o '@[A-Za-z0-9-]*@' <<<"$text" | sort -u | tr -d @); do
    dn=$(ldbsearch -H "$sam" -b "$nc" "(lDAPDisplayName=$name)" dn 2>/dev/null | sed -n 's/^dn: //p')
    [[ -n $dn ]] || die "schema object $name not found"
    text=${text//@$name@/$dn}
  done
  printf '%s\n' "$text"
}

apply_schema() {
  local inst=$1 sam nc logf=$LOG_DIR/provision-$1.log mode
  sam=$(inst_sam "$inst")
  nc="CN=Schema,CN=Configuration,${INST_NC[$inst]}"
  for mode in attributes classes index; do
    local table=$LAB_DIR/schema/classes.txt
    [[ $mode == attributes ]] && table=$LAB_DIR/schema/attributes.txt
    awk -v mode="$mode" -v nc="$nc" -v base="$SCHEMA_OID_BASE" -f "$LAB_DIR/lib/schema.awk" "$table" |
      resolve_schema_names "$sam" "$nc" |
      ldbmodify -H "$sam" --option="dsdb:schema update allowed=true" >>"$logf" 2>&1 ||
      die "schema ($mode) on $inst failed, see $logf"
  done
}
