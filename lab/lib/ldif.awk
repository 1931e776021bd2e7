# Turns the lab's readable value forms into LDIF binary values (base64), so that seed files can
# name SIDs and GUIDs as text and still be sent over LDAP, where those attributes are binary:
#
#   attr:sid: S-1-5-21-1-2-3-1105       -> attr:: <the SID in its binary layout>
#   attr:guid: 079aa557-4a18-...        -> attr:: <the 16 bytes in the Windows GUID layout>
#   attr:blob: 128 some-label           -> attr:: <128 bytes derived from the label; the same
#                                          label always gives the same bytes>
#   attr:text: <Policies />             -> attr:: <the text as it is> (LDIF cannot start a plain
#                                          value with "<" or a blank)
#   attr:text16: "text"                 -> attr:: <the text in UTF-16LE, ASCII only>
#   attr:file: values/mail.xml          -> attr:: <the file's bytes, lines joined by LF, without the
#                                          last line end; {{NAME}} filled from -v vars=FILE>
#   attr:icheck: x86-default-group      -> attr:: <the integrity-check body of that name, laid out
#                                          by lib/make-icheck.py from seed/icheck/bodies.conf>
#
# With -v sid_as_text=1 SIDs stay text: the ldb tools parse that form themselves and refuse the
# binary one. A value that runs over several lines (an XML document a product wrote, with
# Cyrillic text) lives in a file under -v seed_dir, so that a seed line stays one line; UTF-8
# text passes byte by byte, as the directory stores it.
#
# Every other line passes unchanged. Works with mawk (no bit operations needed); run it with
# LC_ALL=C so that text is taken byte by byte.

BEGIN {
  B64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
  for (i = 0; i < 16; i++) HEX[substr("0123456789abcdef", i + 1, 1)] = i
  for (i = 0; i < 6; i++) HEX[substr("ABCDEF", i + 1, 1)] = 10 + i
  for (i = 1; i < 256; i++) ORD[sprintf("%c", i)] = i
  if (vars != "") {
    while ((rc = (getline line < vars)) > 0) {
      if (line ~ /^#/ || index(line, "=") < 2) continue
      VAR[substr(line, 1, index(line, "=") - 1)] = substr(line, index(line, "=") + 1)
    }
    if (rc < 0) { printf "ldif.awk: cannot read %s\n", vars > "/dev/stderr"; exit 1 }
    close(vars)
  }
}

function fail(msg) { printf "ldif.awk: line %d: %s\n", NR, msg > "/dev/stderr"; bad = 1; exit 1 }

# Bytes are kept as a space-separated list of decimal numbers.
function b64(bytes,    n, a, i, v, out, rest) {
  n = split(bytes, a, " ")
  out = ""
  for (i = 1; i + 2 <= n; i += 3) {
    v = a[i] * 65536 + a[i + 1] * 256 + a[i + 2]
    out = out substr(B64, int(v / 262144) + 1, 1) substr(B64, int(v / 4096) % 64 + 1, 1) \
              substr(B64, int(v / 64) % 64 + 1, 1) substr(B64, v % 64 + 1, 1)
  }
  rest = n - i + 1
  if (rest == 1) {
    v = a[i] * 65536
    out = out substr(B64, int(v / 262144) + 1, 1) substr(B64, int(v / 4096) % 64 + 1, 1) "=="
  } else if (rest == 2) {
    v = a[i] * 65536 + a[i + 1] * 256
    out = out substr(B64, int(v / 262144) + 1, 1) substr(B64, int(v / 4096) % 64 + 1, 1) \
              substr(B64, int(v / 64) % 64 + 1, 1) "="
  }
  return out
}

function le32(v,    s, k) {
  s = ""
  for (k = 0; k < 4; k++) { s = s " " (v % 256); v = int(v / 256) }
  return s
}

function sid_bytes(text,    p, n, i, auth, s, k) {
  n = split(text, p, "-")
  if (n < 3 || p[1] != "S" || p[2] !~ /^[0-9]+$/ || p[3] !~ /^[0-9]+$/) fail("not a SID: " text)
  s = p[2] " " (n - 3)
  auth = p[3] + 0
  for (k = 5; k >= 0; k--) s = s " " (int(auth / (256 ^ k)) % 256)
  for (i = 4; i <= n; i++) {
    if (p[i] !~ /^[0-9]+$/ || p[i] + 0 > 4294967295) fail("not a SID: " text)
    s = s le32(p[i] + 0)
  }
  return s
}

function hexbyte(h, at) { return HEX[substr(h, at, 1)] * 16 + HEX[substr(h, at + 1, 1)] }

function guid_bytes(text,    h, s, i, order) {
  h = text
  gsub(/[{}-]/, "", h)
  if (length(h) != 32 || h ~ /[^0-9a-fA-F]/) fail("not a GUID: " text)
  # The first three fields are little-endian in the binary layout.
  split("7 5 3 1 11 9 15 13 17 19 21 23 25 27 29 31", order, " ")
  s = ""
  for (i = 1; i <= 16; i++) s = s (i > 1 ? " " : "") hexbyte(h, order[i])
  return s
}

# MINSTD generator seeded from the label; products stay below 2^53, so doubles are exact.
function blob_bytes(count, label,    x, i, s) {
  x = 7
  for (i = 1; i <= length(label); i++) x = (x * 31 + ORD[substr(label, i, 1)]) % 2147483647
  if (x == 0) x = 1
  s = ""
  for (i = 0; i < count; i++) {
    x = (x * 48271) % 2147483647
    s = s (i ? " " : "") (int(x / 128) % 256)
  }
  return s
}

function text_bytes(text,    i, s) {
  s = ""
  for (i = 1; i <= length(text); i++) s = s (i > 1 ? " " : "") ORD[substr(text, i, 1)]
  return s
}

function text16_bytes(text,    i, s, c) {
  s = ""
  for (i = 1; i <= length(text); i++) {
    c = ORD[substr(text, i, 1)]
    if (c == "" || c >= 128) fail("text16 takes ASCII only")
    s = s (i > 1 ? " " : "") c " 0"
  }
  return s
}

# Placeholders of an included file; the seed files themselves are filled before this script runs.
function fill(text, path,    out, at, end, name) {
  out = ""
  while ((at = index(text, "{{")) > 0) {
    end = index(substr(text, at + 2), "}}")
    if (end == 0) break
    name = substr(text, at + 2, end - 1)
    if (!(name in VAR)) fail("unknown placeholder {{" name "}} in " path)
    out = out substr(text, 1, at - 1) VAR[name]
    text = substr(text, at + end + 3)
  }
  return out text
}

function file_text(path,    full, line, s, n, rc) {
  if (seed_dir == "") fail("file values need -v seed_dir")
  if (path ~ /^\// || path ~ /(^|\/)\.\.(\/|$)/) fail("file values name a path inside the seed: " path)
  full = seed_dir "/" path
  s = ""; n = 0
  while ((rc = (getline line < full)) > 0) s = s (n++ ? "\n" : "") line
  if (rc < 0) fail("cannot read " full)
  close(full)
  if (n == 0) fail("empty file " full)
  return fill(s, path)
}

# The body comes out of the generator as Base64 already.
function icheck_body(name,    command, line, rc) {
  if (name !~ /^[A-Za-z0-9_-]+$/) fail("an icheck body is named by letters, digits, - and _: " name)
  if (seed_dir == "" || vars == "") fail("icheck values need -v seed_dir and -v vars")
  command = "python3 '" seed_dir "/../lib/make-icheck.py' '" vars "' '" seed_dir "/icheck/bodies.conf' '" name "'"
  line = ""
  rc = (command | getline line)
  close(command)
  if (rc <= 0 || line == "") fail("make-icheck.py gave no body for " name)
  return line
}

match($0, /^[A-Za-z][A-Za-z0-9-]*:(sid|guid|blob|text|text16|file|icheck): /) {
  attr = substr($0, 1, index($0, ":") - 1)
  rest = substr($0, length(attr) + 2)
  kind = substr(rest, 1, index(rest, ":") - 1)
  value = substr(rest, length(kind) + 3)
  if (kind == "sid" && sid_as_text) { sid_bytes(value); print attr ": " value; next }
  if (kind == "icheck") { print attr ":: " icheck_body(value); next }
  if (kind == "sid") bytes = sid_bytes(value)
  else if (kind == "guid") bytes = guid_bytes(value)
  else if (kind == "text16") bytes = text16_bytes(value)
  else if (kind == "text") bytes = text_bytes(value)
  else if (kind == "file") bytes = text_bytes(file_text(value))
  else {
    if (split(value, w, " ") != 2 || w[1] !~ /^[0-9]+$/) fail("blob wants: <count> <label>")
    bytes = blob_bytes(w[1] + 0, w[2])
  }
  print attr ":: " b64(bytes)
  next
}

{ print }
