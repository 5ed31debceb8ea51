#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On a machine without an init system (a CI container): a system bus with
# udev and UDisks2 on it, so that the tests that ask UDisks2 for a disk's
# label run instead of skipping. Best effort and root only: where a step
# fails, those tests say why they skipped.
set -uo pipefail
if [ -S /run/dbus/system_bus_socket ] || [ "$(id -u)" -ne 0 ]; then exit 0; fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq && apt-get install -y -qq --no-install-recommends dbus-daemon dbus-bin udev udisks2 >/dev/null || exit 0
mkdir -p /run/dbus
dbus-daemon --system --fork || exit 0
if [ -x /lib/systemd/systemd-udevd ]; then
  /lib/systemd/systemd-udevd --daemon >/dev/null 2>&1 && udevadm trigger >/dev/null 2>&1
  timeout 20 udevadm settle >/dev/null 2>&1
fi
setsid /usr/libexec/udisks2/udisksd >/dev/null 2>&1 < /dev/null &
# Ready once it owns its name on the bus.
for _ in $(seq 1 50); do
  dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.UDisks2 2>/dev/null | grep -q "boolean true" && exit 0
  sleep 0.2
done
echo "UDisks2 did not come up on the system bus; the tests that ask it will skip" >&2
exit 0
