#!/usr/bin/env bash
# Test fixture: a small file system that a test can fill, for writes that fail with a full
# disk. Mounting needs root (or sudo without a password); where neither is at hand the folder
# stays an ordinary one and the test that needs it says it was skipped.
set -u
action=$1 dir=$2
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
case $action in
  mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" || as_root mount -t tmpfs -o size=64k,mode=1777 tmpfs "$dir" 2>/dev/null
    ;;
  umount)
    mountpoint -q "$dir" && as_root umount "$dir" 2>/dev/null
    ;;
esac
exit 0
