#!/usr/bin/env bash
# Builds the Windows release: dist/qvctx-VERSION-win64.zip and, beside it,
# dist/SHA256SUMS (check with `sha256sum -c SHA256SUMS` in dist/).
#
#   scripts/release.sh [--pfx FILE --password-file FILE [--timestamp URL]]
#
# The version is the one in include/qvctx/qvctx_version.h. What the Windows
# build (preset windows, build/windows) installs is brought up to date (the
# test programs are left alone), installed into
# build/windows/release/qvctx-VERSION-win64 and packed with the README,
# CHANGELOG, docs, examples and the C# binding. With --pfx, scripts/sign.sh
# signs qvctx.dll and the tap first (the options as there). The archive
# holds one folder, qvctx-VERSION-win64; tests/install/release_test.cmake
# (`ctest --preset windows-release`) unpacks and builds against it.
set -euo pipefail
cd "$(dirname "$0")/.."

# usage [CODE]: the comment above, then exit CODE (2: a bad command line).
usage() {
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit "${1:-2}"
}

sign_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --pfx|--password-file|--timestamp)
      [ $# -ge 2 ] || usage
      sign_args+=("$1" "$2")
      shift 2 ;;
    -h|--help) usage 0 ;;
    *) echo "release.sh: unknown argument $1" >&2; usage ;;
  esac
done

scripts/setup.sh

version="$(sed -n 's/^#define QVCTX_VERSION_STRING "\(.*\)"$/\1/p' include/qvctx/qvctx_version.h)"
[ -n "$version" ] || { echo "release.sh: no version in include/qvctx/qvctx_version.h" >&2; exit 1; }
name="qvctx-${version}-win64"
build=build/windows
stage="$build/release"
root="$stage/$name"

echo "=== release ${version}: the Windows build"
[ -f "$build/CMakeCache.txt" ] || cmake --preset windows >/dev/null
cmake --build --preset windows --target qvctx_installed_parts

echo "=== release ${version}: staging ${root}"
rm -rf "$stage"
mkdir -p "$stage"
cmake --install "$build" --prefix "$PWD/$root" >/dev/null
if [ ${#sign_args[@]} -gt 0 ]; then
  scripts/sign.sh "${sign_args[@]}" "$root/bin/qvctx.dll" "$root/bin/tap/wfapi64.dll"
fi
cp README.md CHANGELOG.md "$root/"
cp -R docs examples "$root/"
mkdir -p "$root/bindings"
cp -R bindings/dotnet "$root/bindings/"

echo "=== release ${version}: dist/${name}.zip"
dist="$PWD/dist"
mkdir -p "$dist"
rm -f "$dist/${name}.zip" "$dist/SHA256SUMS"
(cd "$stage" && cmake -E tar cf "$dist/${name}.zip" --format=zip "$name")
(cd "$dist" && sha256sum "${name}.zip" >SHA256SUMS)
cat "$dist/SHA256SUMS"
