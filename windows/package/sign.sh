#!/usr/bin/env bash
# Signs Windows files (DLLs, the MSI) in place with an Authenticode signature (SHA-256) by
# osslsigncode, when a code-signing certificate is given through the environment:
#   QUILLET_SIGN_CERTIFICATE    PKCS#12 file (.pfx, .p12) with the key and its certificate chain
#   QUILLET_SIGN_PASSWORD       the file's password (may be unset for a file without one)
#   QUILLET_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server (optional; without one the
#                               signature is no longer valid once the certificate expires)
# Without QUILLET_SIGN_CERTIFICATE nothing is signed, and it says so.
#   sign.sh FILE...
set -euo pipefail

if [ -z "${QUILLET_SIGN_CERTIFICATE:-}" ]; then
  echo "sign: NOT SIGNING $# file(s): set QUILLET_SIGN_CERTIFICATE (and QUILLET_SIGN_PASSWORD) to sign" >&2
  exit 0
fi
[ -r "$QUILLET_SIGN_CERTIFICATE" ] || {
  echo "sign: cannot read the certificate $QUILLET_SIGN_CERTIFICATE" >&2
  exit 1
}
command -v osslsigncode >/dev/null || {
  echo "sign: osslsigncode is missing (bash scripts/install-deps.sh com)" >&2
  exit 1
}

timestamp=()
if [ -n "${QUILLET_SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$QUILLET_SIGN_TIMESTAMP_URL")
else
  echo "sign: no QUILLET_SIGN_TIMESTAMP_URL: the signatures carry no time stamp" >&2
fi

# The password goes through a file only this user reads, never the command line (osslsigncode
# before 2.6 reads no password from standard input).
password=$(mktemp)
trap 'rm -f "$password"' EXIT
chmod 600 "$password"
printf '%s' "${QUILLET_SIGN_PASSWORD:-}" >"$password"
for file in "$@"; do
  osslsigncode sign -pkcs12 "$QUILLET_SIGN_CERTIFICATE" -readpass "$password" -h sha256 \
    -n "Quillet" "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
  echo "sign: signed $file" >&2
done
