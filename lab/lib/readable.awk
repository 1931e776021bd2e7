# Shows binary SIDs and GUIDs of LDIF (attr:: base64) in their text forms, for people and for
# scripts that compare identifiers: attributes whose names end in "sid" become S-1-5-...,
# those ending in "guid" the hyphenated GUID. Run with LC_ALL=C.

BEGIN {
  A = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
  for (i = 0; i < 64; i++) V[substr(A, i + 1, 1)] = i
}

# Decodes into B[0..n-1]; returns n.
function unbase64(s,    i, v, n, pad) {
  n = 0
  pad = (substr(s, length(s), 1) == "=") + (substr(s, length(s) - 1, 1) == "=")
  gsub(/=/, "A", s)
  for (i = 1; i + 3 <= length(s); i += 4) {
    v = V[substr(s, i, 1)] * 262144 + V[substr(s, i + 1, 1)] * 4096 + V[substr(s, i + 2, 1)] * 64 + V[substr(s, i + 3, 1)]
    B[n++] = int(v / 65536); B[n++] = int(v / 256) % 256; B[n++] = v % 256
  }
  return n - pad
}

function sid_text(n,    count, auth, k, s, v) {
  count = B[1]
  if (n != 8 + 4 * count) return ""
  auth = 0
  for (k = 2; k < 8; k++) auth = auth * 256 + B[k]
  s = "S-" B[0] "-" sprintf("%.0f", auth)
  for (k = 0; k < count; k++) {
    v = B[8 + 4 * k] + B[9 + 4 * k] * 256 + B[10 + 4 * k] * 65536 + B[11 + 4 * k] * 16777216
    s = s "-" sprintf("%.0f", v)
  }
  return s
}

function guid_text(n,    order, k, g) {
  if (n != 16) return ""
  split("3 2 1 0 5 4 7 6 8 9 10 11 12 13 14 15", order, " ")
  g = ""
  for (k = 1; k <= 16; k++) {
    g = g sprintf("%02x", B[order[k]])
    if (k == 4 || k == 6 || k == 8 || k == 10) g = g "-"
  }
  return g
}

/^[A-Za-z0-9-]+:: / {
  attr = substr($0, 1, index($0, ":") - 1)
  low = tolower(attr)
  text = ""
  if (low ~ /sid$/) text = sid_text(unbase64($2))
  else if (low ~ /guid$/) text = guid_text(unbase64($2))
  if (text != "") { print attr ": " text; next }
}

{ print }
