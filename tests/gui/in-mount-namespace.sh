#!/bin/sh
# Runs a test program in a mount namespace of its own where one can be made
# (as root), so that what it mounts is seen by no one else and goes with it;
# elsewhere it runs as it is and its mounting cases skip, saying why.
if unshare -m --propagation private true 2>/dev/null; then
  export LK_PRIVATE_MOUNTS=1
  exec unshare -m --propagation private "$@"
fi
echo "no private mount namespace here: the cases that mount will skip" >&2
exec "$@"
