# shellcheck shell=bash
# Seed and schema files are LDIF templates: {{NAME}} placeholders are filled from a variables
# file (NAME=value lines), then the readable value forms of ldif.awk become binary values.

vars_to_sed() {
  local key value
  while IFS='=' read -r key value; do
    [[ -z $key || $key == \#* ]] && continue
    value=${value//\\/\\\\}
    value=${value//&/\\&}
    value=${value//|/\\|}
    printf 's|{{%s}}|%s|g\n' "$key" "$value"
  done <"$1"
}

# fill_template VARS TEMPLATE [ldb|ldap]: the finished LDIF on standard output, for the ldb tools
# (straight into a database) or for the LDAP tools (the default).
fill_template() {
  local vars=$1 template=$2 target=${3:-ldap} filled
  filled=$(sed -f <(vars_to_sed "$vars") "$template")
  if grep -q '{{' <<<"$filled"; then
    die "$(basename "$template"): unknown placeholder(s): $(grep -o '{{[^}]*}}' <<<"$filled" | sort -u | tr '\n' ' ')"
  fi
  LC_ALL=C awk -v sid_as_text="$([[ $target == ldb ]] && echo 1)" -v vars="$vars" \
    -v seed_dir="$LAB_DIR/seed" -f "$LAB_DIR/lib/ldif.awk" <<<"$filled"
}
