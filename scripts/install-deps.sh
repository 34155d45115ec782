#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, and only
# those that are missing, so that running it again does nothing.
#
#   scripts/install-deps.sh [native] [windows] [tools]
#
# native:  the Linux build, its tests (systemd: systemd-analyze checks the user
#          unit; python3 regenerates tables to compare and drives Dovecot,
#          which serves a Maildir over IMAP, delivers by LMTP and runs Sieve,
#          and procmail and maildrop, which deliver; openssl makes the IMAP
#          tests' certificates) and benchmarks (cmark makes the Help and
#          Support pages); libetpan and GnuTLS are the IMAP client's libraries;
#          publicsuffix gives the engine its table of public
#          suffixes, for the Windows builds too
# windows: the mingw-w64 cross builds (64-bit and 32-bit) and Wine to run
#          their tests, 32-bit Wine from Debian's i386 architecture (added
#          here when missing); NSIS makes the setup program; ImageMagick and
#          fonts draw the add-in's pictures and the dialog screenshots
# tools:   clang (fuzzing), ImageMagick and gnuplot (pictures)
set -euo pipefail

native=(cmake ninja-build g++ pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev
        libtinyxml-dev libexpat1-dev libgmime-3.0-dev libgpgme-dev libgumbo-dev libinih-dev libxxhash-dev cmark
        systemd python3 dovecot-imapd dovecot-lmtpd dovecot-sieve procmail maildrop libetpan-dev
        libgnutls28-dev openssl publicsuffix)
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev libxxhash-dev wine
         wine64 wine32:i386 nsis xvfb xauth googletest imagemagick fonts-dejavu-core fonts-wine
         publicsuffix)
tools=(clang libclang-rt-14-dev imagemagick gnuplot-nox)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(native)

wanted=()
for group in "${groups[@]}"; do
  case "$group" in
    native) wanted+=("${native[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    tools) wanted+=("${tools[@]}") ;;
    *) echo "install-deps: unknown group '$group' (native, windows, tools)" >&2; exit 1 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packages of the i386 architecture (32-bit Wine) need it enabled first.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
