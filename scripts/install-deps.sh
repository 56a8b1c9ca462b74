#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test the program,
# but only when one of them is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev libsqlite3-dev libsodium-dev libical-dev libgmime-3.0-dev qtkeychain-qt6-dev
  # run
  qt6-qpa-plugins fonts-liberation2 fonts-dejavu
  # tests: printed sheets, attachments, mail servers, read-only files, RTF readers of others
  poppler-utils sharutils python3-aiosmtpd dovecot-pop3d dovecot-imapd e2fsprogs sqlite3 pandoc libreoffice-writer-nogui
  # tests: the OAuth2 authorization server, and dovecot's submission service
  python3-authlib python3-flask dovecot-submissiond
  # tests: the test authority and certificates of the TLS mail servers
  openssl
  # tests: the installed program's desktop entry and AppStream data, a session bus for reminders
  desktop-file-utils appstream dbus-daemon
  # tests: a real Secret Service for the stored passwords, and a slow stand-in of our own
  gnome-keyring python3-dbus python3-gi
  # the fuzz targets, built and run briefly by test.sh
  clang libclang-rt-14-dev
  # the Debian package: dpkg-shlibdeps finds its dependencies
  dpkg-dev
  # tests: an independent vCard and iCalendar reader, a CardDAV/CalDAV server that validates our files
  python3-vobject radicale
  # tests: a second CardDAV/CalDAV server, and another client of both
  xandikos python3-caldav python3-requests
  # CI: the format and clang-tidy checks
  clang-format clang-tidy
  # scripts/make-test-inputs.py: one more iCalendar writer of others
  python3-icalendar
  # tests: the screens as a screen reader reads them (AT-SPI), on an X server of their own
  at-spi2-core python3-pyatspi xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
