#!/bin/sh
# mate-screensaver as a MATE session runs it, with Floodmark's installed desktop entry picked as
# its theme; activates it, lets the hack draw, and keeps a picture of the screen.
#   mate-screensaver-session.sh DISPLAY ROOT SCRATCH
# ROOT holds an install made with the prefix /usr; SCRATCH receives mate.log, bus.log and
# screen.png.
# Run it in a private mount namespace (unshare --mount): mate runs hacks only from a few system
# folders, so a folder holding the staged hack is mounted over /usr/libexec/xscreensaver for
# this run alone.
set -eu
display=$1 root=$2 scratch=$3
mkdir -p "$scratch/hacks" "$scratch/home"
ln -sf "$root/usr/bin/floodmark" "$scratch/hacks/floodmark"
mount --bind "$scratch/hacks" /usr/libexec/xscreensaver

exec env -i PATH=/usr/bin:/bin HOME="$scratch/home" DISPLAY="$display" XDG_CURRENT_DESKTOP=MATE NO_AT_BRIDGE=1 \
    XDG_DATA_DIRS="$root/usr/share:/usr/share" SCRATCH="$scratch" \
    dbus-run-session -- sh -eu -c '
    # Waits up to $1 tenths of a second for the rest of the line to succeed.
    within() { n=$1; shift; until "$@" >/dev/null 2>&1; do
        n=$((n - 1)); [ "$n" -gt 0 ] || return 1; sleep 0.1; done; }
    gsettings set org.mate.screensaver themes "[\"screensavers-floodmark\"]"
    gsettings set org.mate.screensaver mode single
    gsettings set org.mate.screensaver lock-enabled false
    mate-screensaver --no-daemon --debug >"$SCRATCH/mate.log" 2>&1 &
    mate=$!
    status=0
    if within 150 mate-screensaver-command --query && mate-screensaver-command --activate &&
        within 150 pgrep -P "$mate" -f "^/usr/libexec/xscreensaver/floodmark"; then
        sleep 2
        import -window root "$SCRATCH/screen.png" || status=$?
    else
        status=1
    fi
    hack=$(pgrep -P "$mate" || true)
    kill "$mate"
    wait "$mate" || true
    [ -z "$hack" ] || kill $hack 2>/dev/null || true
    exit $status' 2>>"$scratch/bus.log"
