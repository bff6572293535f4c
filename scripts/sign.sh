#!/usr/bin/env bash
# Signs Windows binaries in place with an Authenticode signature (SHA-256),
# through osslsigncode (scripts/setup.sh installs it).
#
#   scripts/sign.sh --pfx FILE --password-file FILE [--timestamp URL] BINARY...
#
# --pfx            the code-signing certificate with its private key (PKCS#12)
# --password-file  a file holding the PKCS#12 password (one line), so the
#                  password never appears on a command line
# --timestamp URL  an RFC 3161 time-stamping service; a time-stamped signature
#                  stays valid after the certificate expires. Without it the
#                  signature is valid only while the certificate is.
#
# Each BINARY is signed into a temporary file beside it, which then replaces
# it, so a failed signing leaves the binary as it was; a signature the binary
# already carries is replaced. Exit 0 when every binary was signed.
set -euo pipefail

# usage [CODE]: the comment above, then exit CODE (2: a bad command line).
usage() {
  sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit "${1:-2}"
}

pfx=""
password_file=""
timestamp=""
binaries=()
while [ $# -gt 0 ]; do
  case "$1" in
    --pfx) [ $# -ge 2 ] || usage; pfx="$2"; shift 2 ;;
    --password-file) [ $# -ge 2 ] || usage; password_file="$2"; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; timestamp="$2"; shift 2 ;;
    -h|--help) usage 0 ;;
    --) shift; binaries+=("$@"); break ;;
    -*) echo "sign.sh: unknown option $1" >&2; usage ;;
    *) binaries+=("$1"); shift ;;
  esac
done
if [ -z "$pfx" ] || [ -z "$password_file" ] || [ ${#binaries[@]} -eq 0 ]; then
  usage
fi
for file in "$pfx" "$password_file" "${binaries[@]}"; do
  [ -f "$file" ] || { echo "sign.sh: no such file: $file" >&2; exit 1; }
done
command -v osslsigncode >/dev/null ||
  { echo "sign.sh: osslsigncode is missing (scripts/setup.sh installs it)" >&2; exit 1; }

stamp=()
[ -z "$timestamp" ] || stamp=(-ts "$timestamp")

for binary in "${binaries[@]}"; do
  # osslsigncode refuses an -out that exists: a fresh folder beside the
  # binary, so the signed file replaces it in one rename.
  work="$(mktemp -d "$(dirname "$binary")/.sign.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  signed="$work/$(basename "$binary")"
  if ! osslsigncode sign -pkcs12 "$pfx" -readpass "$password_file" -h sha256 \
      "${stamp[@]}" -in "$binary" -out "$signed" >/dev/null; then
    echo "sign.sh: signing $binary failed" >&2
    exit 1
  fi
  chmod --reference="$binary" "$signed"
  mv -f "$signed" "$binary"
  rm -rf "$work"
  trap - EXIT
  echo "sign.sh: signed $binary"
done
