# shellcheck shell=bash
# The lab CA and the one server certificate that every instance presents. Clients trust the CA
# through LDAPTLS_CACERT and connect by address, so every address is a subject alternative name.

make_tls() {
  local san="DNS:localhost,IP:127.0.0.1" inst
  for inst in "${INSTANCES[@]}"; do
    san+=",IP:${INST_IP[$inst]},DNS:${INST_HOST[$inst],,}.${INST_REALM[$inst],,}"
  done
  # A new instance needs its address in the certificate: reissue it then. The instance table is
  # part of the templates' fingerprint, so every instance restarts with the new certificate.
  [[ -s $TLS_DIR/server.pem && -s $TLS_DIR/ca.pem && -s $TLS_DIR/dh.pem &&
     $(cat "$TLS_DIR/server.san" 2>/dev/null) == "$san" ]] && return 0
  log "issuing the lab's server certificate (and its CA, the first time)"
  mkdir -p "$TLS_DIR"
  chmod 700 "$TLS_DIR"
  (
    cd "$TLS_DIR"
    umask 077
    # Clients may hold the CA already; keep it when only the server certificate changes.
    if [[ ! -s ca.pem || ! -s ca.key ]]; then
      openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Korvant directory lab CA" \
        -keyout ca.key -out ca.pem 2>/dev/null
    fi
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
      -keyout server.key -out server.csr 2>/dev/null
    printf '%s\n' "subjectAltName=$san" "basicConstraints=CA:FALSE" \
      "keyUsage=digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" >server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
      -extfile server.ext -out server.pem 2>/dev/null
    # A named group instead of generated parameters: instant and well known.
    [[ -s dh.pem ]] || openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out dh.pem 2>/dev/null
    printf '%s' "$san" >server.san
    rm -f server.csr
    chmod 600 server.key ca.key
    chmod 644 ca.pem server.pem dh.pem
  )
  chmod 755 "$TLS_DIR"
}
