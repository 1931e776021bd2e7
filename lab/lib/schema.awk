# Writes the schema LDIF of the lab from schema/attributes.txt (mode=attributes) or
# schema/classes.txt (mode=classes, mode=index). Variables: mode, nc (the schema naming context),
# base (the OID arc of the lab). Existing classes and attributes are named "@name@"; the caller
# replaces that by their DN.

function flush_class() {
  if (kind == "class") {
    printf "dn: CN=%s,%s\nobjectClass: classSchema\ncn: %s\nlDAPDisplayName: %s\n", name, nc, name, name
    printf "governsID: %s.2.%s\nobjectClassCategory: 1\nsubClassOf: top\nrDNAttID: cn\n", base, id
    printf "%s%s\n", sup, may
  } else if (kind == "extend" && (may != "" || sup != "")) {
    printf "dn: @%s@\nchangetype: modify\n", name
    if (may != "") printf "add: mayContain\n%s-\n", may
    if (sup != "") printf "add: possSuperiors\n%s-\n", sup
    printf "\n"
  }
  kind = ""; sup = ""; may = ""
}

mode == "attributes" && NF >= 4 && $1 !~ /^#/ {
  syntax = $3
  if (syntax == "sid")          { s = "2.5.5.17"; om = 4 }
  else if (syntax == "guid")    { s = "2.5.5.10"; om = 4 }
  else if (syntax == "binary")  { s = "2.5.5.10"; om = 4 }
  else if (syntax == "string")  { s = "2.5.5.12"; om = 64 }
  else if (syntax == "integer") { s = "2.5.5.9";  om = 2 }
  else if (syntax == "large")   { s = "2.5.5.16"; om = 65 }
  else if (syntax == "boolean") { s = "2.5.5.8";  om = 1 }
  else { printf "schema.awk: %s: unknown syntax %s\n", $2, syntax > "/dev/stderr"; exit 1 }
  printf "dn: CN=%s,%s\nobjectClass: attributeSchema\ncn: %s\nlDAPDisplayName: %s\n", $2, nc, $2, $2
  printf "attributeID: %s.1.%s\nattributeSyntax: %s\noMSyntax: %s\n", base, $1, s, om
  printf "isSingleValued: %s\n", ($4 == "single" ? "TRUE" : "FALSE")
  if (syntax == "guid") printf "rangeLower: 16\nrangeUpper: 16\n"
  if ($5 == "indexed") printf "searchFlags: 1\n"
  printf "\n"
  next
}

mode != "attributes" && /^[ \t]*#/ { next }

mode == "classes" && $1 == "class"     { flush_class(); kind = "class"; id = $2; name = $3; next }
mode == "classes" && $1 == "extend"    { flush_class(); kind = "extend"; name = $2; next }
mode == "classes" && $1 == "index"     { flush_class(); next }
mode == "classes" && $1 == "superiors" { for (i = 2; i <= NF; i++) sup = sup "possSuperiors: " $i "\n"; next }
mode == "classes" && $1 == "may"       { for (i = 2; i <= NF; i++) may = may "mayContain: " $i "\n"; next }
mode == "classes" && NF == 0           { flush_class(); next }

mode == "index" && $1 == "index" {
  printf "dn: @%s@\nchangetype: modify\nreplace: searchFlags\nsearchFlags: 1\n-\n\n", $2
}

END { if (mode == "classes") flush_class() }
