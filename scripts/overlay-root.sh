#!/bin/sh
# overlay-root.sh [--bind SRC:DST]... COMMAND [ARG]...
#
# Runs COMMAND as root in private mount, IPC and network namespaces (only the loopback interface, up),
# chrooted into an overlay of / whose upper layer is a fresh tmpfs: whatever the command writes, fakes
# or removes below / changes only that layer, which goes when the command ends. /tmp is a fresh tmpfs;
# /proc, /dev and /sys are the host's; the checkout (which may sit on another file system) is bound
# at its own path, and so is every --bind SRC:DST (SRC seen at DST inside). The working directory keeps
# its path. The exit status is the command's.
set -eu
if [ "${KW_OVERLAY_STAGE:-}" = inside ]; then
    base=$1
    checkout=$KW_OVERLAY_CHECKOUT
    unset KW_OVERLAY_STAGE KW_OVERLAY_CHECKOUT
    shift
    mount -t tmpfs -o mode=0700 kw-overlay "$base"
    mkdir "$base/upper" "$base/work" "$base/root"
    root=$base/root
    mount -t overlay kw-overlay -o "lowerdir=/,upperdir=$base/upper,workdir=$base/work" "$root"
    for fs in proc dev sys; do
        mount --rbind "/$fs" "$root/$fs"
    done
    mount -t tmpfs -o mode=1777 kw-tmp "$root/tmp"
    mkdir -p "$root$checkout"
    mount --rbind "$checkout" "$root$checkout"
    while [ "$#" -gt 0 ] && [ "$1" = --bind ]; do
        case ${2:-} in
        ?*:/?*) ;;
        *) echo "overlay-root.sh: --bind wants SRC:DST with an absolute DST" >&2; exit 2 ;;
        esac
        source=${2%%:*}
        [ -e "$source" ] || { echo "overlay-root.sh: no such file: $source" >&2; exit 2; }
        target=${2#*:}
        if [ -d "$source" ]; then
            mkdir -p "$root$target"
        else
            mkdir -p "$root$(dirname "$target")"
            [ -e "$root$target" ] || : >"$root$target"
        fi
        mount --rbind "$source" "$root$target"
        shift 2
    done
    ip link set lo up
    exec chroot "$root" /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@"
fi

checkout=$(cd "$(dirname "$0")/.." && pwd -P)
base=$(mktemp -d /tmp/kw-overlay.XXXXXX)
status=0
KW_OVERLAY_STAGE=inside KW_OVERLAY_CHECKOUT=$checkout \
    unshare --mount --ipc --net --propagation private "$0" "$base" "$@" || status=$?
rmdir "$base"
exit $status
