#!/bin/sh
# Runs a command on a session bus of its own whose keyring (a stand-in)
# holds the password "pass word" and answers each search only after 8 s.
set -eu
export TESSALY_TEST_SLOW_KEYRING=8
exec dbus-run-session -- sh -c '
  /usr/bin/python3 "$0" 8 "pass word" &
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" && break
    sleep 0.1
  done
  exec "$@"' "$(dirname "$0")/slow_keyring.py" "$@"
