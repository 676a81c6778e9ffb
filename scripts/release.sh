#!/usr/bin/env bash
# Builds one version's release folder, dist/<version>/, the version being the
# CMake project's (top CMakeLists.txt):
#
#   collector-upgrade_<v>_amd64.deb, collector-fleet_<v>_amd64.deb,
#   collector-emulator_<v>_amd64.deb        Debian 12 (from build-app/)
#   CollectorUpgrade-<v>-win64.zip, -win32.zip   the portable Windows folders
#   CollectorUpgrade-<v>-x64.msi, -x86.msi       the Windows installers
#   fieldcollector-fleet-<v>.tar.gz              the Ansible collection
#   RELEASE_NOTES.md                             the version's CHANGELOG.md section
#   SHA256SUMS                                   sha256sum of every file above
#
#   scripts/release.sh [CERT KEY [TIMESTAMP_URL]]
#
# Without a certificate the Windows programs and installers are unsigned and
# their README.txt says so; with one, scripts/sign-windows.sh signs them
# (only a certificate of a trusted root; a passphrase in SIGN_KEY_PASSWORD).
# The build trees are built or brought up to date, never cleaned, so a
# second run is quick. At the end the folder's versions are checked
# (packaging/check_versions.py) and `sha256sum -c SHA256SUMS` is run
# in it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
(($# == 0 || $# == 2 || $# == 3)) || { echo "usage: $0 [CERT KEY [TIMESTAMP_URL]]" >&2; exit 2; }
version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$root/dist/$version
step() { echo "== release $version: $1"; }

step "Debian packages (build-app/)"
cmake --preset app >/dev/null
cmake --build --preset app -j"$(nproc)"
rm -rf build-app/packages
(cd build-app && cpack -G DEB >/dev/null)

step "Windows programs (build-win/, build-win32/)"
scripts/build-windows.sh x86_64
scripts/build-windows.sh i686
rm -f build-win/packages/*.zip build-win32/packages/*.zip
if (($# >= 2)); then
  scripts/sign-windows.sh "$@"
  export COLLECTOR_SIGN_CERT=$1 COLLECTOR_SIGN_KEY=$2 COLLECTOR_SIGN_TIMESTAMP=${3:-}
else
  for tree in build-win build-win32; do
    (cd "$tree" && cpack -G ZIP --config CPackConfig.cmake >/dev/null)
  done
fi

rm -rf "$dist"
mkdir -p "$dist"
cp build-app/packages/*_"$version"_amd64.deb "$dist/"
cp build-win/packages/CollectorUpgrade-"$version"-win64.zip \
  build-win32/packages/CollectorUpgrade-"$version"-win32.zip "$dist/"

step "Windows installers"
packaging/windows/build_msi.py "$dist/CollectorUpgrade-$version-win64.zip" \
  "$dist/CollectorUpgrade-$version-x64.msi"
packaging/windows/build_msi.py "$dist/CollectorUpgrade-$version-win32.zip" \
  "$dist/CollectorUpgrade-$version-x86.msi"

step "Ansible collection"
ansible-galaxy collection build ansible/ --output-path "$dist" --force >/dev/null

step "release notes and checksums"
# The section "## [<version>] - <date>" of CHANGELOG.md, up to the next one.
awk -v head="## [$version] - " '
  index($0, "## [") == 1 { inside = index($0, head) == 1 }
  inside' CHANGELOG.md >"$dist/RELEASE_NOTES.md"
[[ -s $dist/RELEASE_NOTES.md ]] || { echo "CHANGELOG.md has no section for $version" >&2; exit 1; }
(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | sort |
  xargs sha256sum >SHA256SUMS)

step "checks"
python3 packaging/check_versions.py "$root" --dist "$dist"
(cd "$dist" && sha256sum -c SHA256SUMS)
echo "release $version in $dist"
