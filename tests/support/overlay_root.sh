#!/bin/sh
# Runs a command as root inside a private mount namespace, chrooted into an overlay of /: whatever it
# installs, removes or writes (rpm and dnf databases, /etc, /opt, /var) changes only the overlay's
# upper layer, which is deleted afterwards. /proc, /sys and /dev are the host's. The working
# directory stays the same path.
set -eu
if [ "${KW_OVERLAY_ROOT:-}" = inside ]; then
    root=$1/root
    shift
    mount -t overlay overlay -o "lowerdir=/,upperdir=$root/../upper,workdir=$root/../work" "$root"
    for fs in proc sys dev; do
        mount --rbind "/$fs" "$root/$fs"
    done
    exec chroot "$root" /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@"
fi
dir=$(mktemp -d /var/tmp/kw-overlay.XXXXXX)
mkdir "$dir/upper" "$dir/work" "$dir/root"
status=0
KW_OVERLAY_ROOT=inside unshare --mount --propagation private "$0" "$dir" "$@" || status=$?
rm -rf "$dir"
exit $status
