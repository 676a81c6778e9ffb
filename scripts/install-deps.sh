#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs. Idempotent: installs
# only what is missing. As a non-root user it prints the one apt-get line to
# run and fails.
#
#   scripts/install-deps.sh          building, running and testing
#   scripts/install-deps.sh build    building and running only
set -euo pipefail

build_packages=(
  cmake g++ make pkg-config          # build
  qt6-base-dev                       # window (Qt 6 Widgets)
  fonts-arphic-uming                 # a Song-style CJK font for the Chinese texts
  libcli11-dev nlohmann-json3-dev    # command lines and JSON (collector emulator, collector-fleet)
  libasio-dev                        # event loop of collector-fleet (standalone Asio)
  libssl-dev                         # SHA-256 and image signatures (OpenSSL libcrypto)
  python3                            # draws the desktop icon sizes
)
test_packages=(
  libgtest-dev libbenchmark-dev      # tests and benchmarks
  clang libclang-rt-14-dev           # fuzzing (libFuzzer) and sanitizers
  iproute2                           # network namespaces for end-to-end tests
  python3-jsonschema                 # end-to-end tests check every report against its schema
  time                               # CPU and memory figures of collector-fleet
  xvfb xauth libx11-dev              # a virtual X server and Xlib for the start test
  imagemagick                        # takes the screenshots from the virtual X server (import)
  g++-mingw-w64-x86-64-posix         # the Windows program, 64-bit ...
  g++-mingw-w64-i686-posix           # ... and 32-bit
  wine wine64                        # runs the Windows tests, 64-bit ...
  wine32:i386                        # ... and 32-bit (needs the i386 architecture, below)
  fonts-wqy-zenhei                   # a CJK font that wine draws the Chinese texts with
  locales                            # zh_CN.UTF-8 for wine (made inside the build tree)
  dpkg-dev                           # dpkg-shlibdeps for the Debian packages
  osslsigncode openssl               # signs the Windows programs (a throwaway certificate in tests)
  wixl msitools                      # the Windows installer (MSI): builds it, reads its tables
  libcap2-bin procps                 # setcap and sysctl, which the package's scripts use
  lintian desktop-file-utils appstream # package tests: lintian and both validators
  dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0 # the installed window, driven
                                     # over the accessibility bus by the package test
  ansible-core ansible-lint          # the Ansible collection: its lint and estate test ...
  python3-venv pylint python3-pycodestyle yamllint shellcheck python3-voluptuous
                                     # ... its sanity tests (ansible-test sanity) ...
  openssh-server openssh-client      # ... whose site hosts the controller reaches over SSH
)

case ${1:-all} in
build) packages=("${build_packages[@]}") ;;
all) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
*) echo "usage: $0 [build]" >&2; exit 2 ;;
esac

# wine32 is an i386 package: the architecture must be known to dpkg first.
needs_i386=no
if [[ " ${packages[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  needs_i386=yes
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run this once, then run the command again:" >&2
  if [ $needs_i386 = yes ]; then
    echo "  sudo dpkg --add-architecture i386" >&2
  fi
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

if [ $needs_i386 = yes ]; then
  dpkg --add-architecture i386
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
