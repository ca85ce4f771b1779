#!/bin/sh
# Signs one Windows program in place (Authenticode, SHA-256) with the certificate and key in
# the PKCS#12 file ZELVAX_SIGN_PKCS12, whose password is in the file ZELVAX_SIGN_PASSWORD_FILE;
# without a certificate it leaves the file as it is. The signing time is the last commit's, so
# that signing the same bytes twice gives the same signature.
set -eu
file=$1
[ -n "${ZELVAX_SIGN_PKCS12:-}" ] || exit 0
osslsigncode sign -pkcs12 "$ZELVAX_SIGN_PKCS12" -readpass "$ZELVAX_SIGN_PASSWORD_FILE" \
  -h sha256 -n ZELVAX ${SOURCE_DATE_EPOCH:+-time "$SOURCE_DATE_EPOCH"} \
  -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
