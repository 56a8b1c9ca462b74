#!/bin/sh
# Runs a command on a session bus of its own with a Secret Service
# (gnome-keyring) whose login keyring is created and unlocked in a throwaway
# home, so a test never sees the desktop's own keyring.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export TESSALY_TEST_KEYRING=1  # the test may rely on it
dbus-run-session -- sh -c '
  printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' keyring "$@"
