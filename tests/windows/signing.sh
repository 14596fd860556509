#!/usr/bin/env bash
# The signing step proved with a throw-away certificate:
#   signing.sh certificate DIR        a self-signed code-signing certificate made now (openssl):
#                                     DIR/certificate.pfx (password "throw-away") and .pem
#   signing.sh verify DIR PACKAGE     every DLL and installer of the package folder carries a
#                                     signature that osslsigncode verifies against that
#                                     certificate, and that it reports untrusted without it
set -uo pipefail

case "$1" in
  certificate)
    dir=$2
    rm -rf "$dir" && mkdir -p "$dir" || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillet test signing" \
      -addext "extendedKeyUsage=codeSigning" -keyout "$dir/key.pem" -out "$dir/certificate.pem" \
      2>"$dir/openssl.log" &&
      openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" \
        -out "$dir/certificate.pfx" -passout pass:throw-away 2>>"$dir/openssl.log" ||
      { cat "$dir/openssl.log"; exit 1; }
    echo "throw-away certificate in $dir"
    ;;
  verify)
    dir=$2 package=$3
    mapfile -t files < <(ls "$package"/quillet-*-windows/x86/*.dll "$package"/quillet-*-windows/x64/*.dll \
      "$package"/quillet-*.msi 2>/dev/null)
    [ ${#files[@]} -eq 6 ] || { echo "expected 4 DLLs and 2 installers, found: ${files[*]}"; exit 1; }
    status=0
    for file in "${files[@]}"; do
      osslsigncode verify -CAfile "$dir/certificate.pem" -in "$file" >"$dir/verify.log" 2>&1 ||
        { echo "$(basename "$file"): not verified"; tail -20 "$dir/verify.log"; status=1; continue; }
      # Without the certificate as a trusted root the chain is not trusted: the expected
      # answer for a self-signed certificate, with the digest itself intact.
      osslsigncode verify -in "$file" >"$dir/untrusted.log" 2>&1 &&
        { echo "$(basename "$file"): verified without its root"; status=1; }
      grep -q "self-signed certificate" "$dir/untrusted.log" ||
        { echo "$(basename "$file"): unexpected failure"; tail -20 "$dir/untrusted.log"; status=1; }
      echo "$(basename "$file"): signature verified"
    done
    exit $status
    ;;
  *)
    echo "signing.sh: unknown command $1" >&2
    exit 64
    ;;
esac
