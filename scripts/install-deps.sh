#!/bin/sh
# Installs every Debian package that the build and the tests need. Idempotent: packages that are
# already present are not fetched again.
set -eu

PACKAGES="
build-essential cmake ninja-build ccache pkg-config git python3
libgtest-dev libgmock-dev googletest libbenchmark-dev
libboost1.81-dev libboost-thread1.81-dev libboost-filesystem1.81-dev libboost-system1.81-dev
libboost-regex1.81-dev libboost-program-options1.81-dev
libtinyxml-dev libcurl4-openssl-dev libssl-dev libpam0g-dev libjs-prototype
gettext locales-all util-linux procps nodejs hostname
libxml2-utils iproute2 gnupg dpkg-dev apt-utils curl file
rpm createrepo-c dnf python3-dnf
libapt-pkg-dev librpm-dev hyperfine tmux less
clang libclang-rt-14-dev
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: run as root to install:$missing" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || true
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
