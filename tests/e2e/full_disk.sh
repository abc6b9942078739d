#!/usr/bin/env bash
# A full disk for the full-disk run of tests_e2e: a tmpfs of 8 MiB mounted at
# <build>/tests/full_disk, which the run takes as the starter's temporary
# folder and fills up to the room it wants left.
#   full_disk.sh start <build>   mounts it; <build>/tests/full_disk.state says
#                                "mounted", or "unavailable: <why>" where this
#                                machine allows no mount (not root, no
#                                CAP_SYS_ADMIN): the run then says it was skipped
#   full_disk.sh stop <build>    unmounts it
set -uo pipefail
action=$1
tests=$(cd "$2" && pwd)/tests
dir=$tests/full_disk
state=$tests/full_disk.state

case $action in
  stop)
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir" || umount -l "$dir"; fi
    rm -f "$state"
    exit 0
    ;;
  start)
    mkdir -p "$dir"
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir" || umount -l "$dir"; fi
    if why=$(mount -t tmpfs -o size=8m,mode=0755 ks_full_disk "$dir" 2>&1); then
      echo mounted >"$state"
    else
      echo "unavailable: ${why:-mount failed}" >"$state"
    fi
    exit 0
    ;;
esac
echo "usage: full_disk.sh start|stop <build>" >&2
exit 2
