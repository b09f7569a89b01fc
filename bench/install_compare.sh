#!/bin/sh
# Times whole installations of the sample product against apt doing the same on its own, on this
# machine, each run in a fresh throw-away root (scripts/overlay-root.sh), in pairs through hyperfine:
#   kitwright install --dry-run   against  apt-get update and apt-get -s install
#   kitwright install             against  apt-get update and apt-get install
# of the same packages (those the dry run lists) from the same signed repository of the sample
# mirror. Both sides pay for the root, the catalogue of sources and apt's lists. Run by hand, as root,
# after a build; never run by the tests.
#   [KW_BENCH_RUNS=N] bench/install_compare.sh [BUILD_DIR]   (default: 5 runs, build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
program=$PWD/$build/installer/kitwright
[ -x "$program" ] || { echo "install_compare.sh: build $program first" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "install_compare.sh: needs hyperfine (scripts/install-deps.sh)" >&2; exit 1; }

# Under the checkout, which the throw-away roots see at its own path (their /tmp is their own).
work=$(mktemp -d "$PWD/$build/install-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
chmod 755 "$work"
mirror=$work/mirror
python3 tests/support/mirror/make_mirror.py "$mirror" --cache "$PWD/$build/test-cache/mirror" >/dev/null

# The newer stable release of the first product, and its Debian build's repository.
set -- $(python3 - "$mirror" <<'PY'
import json, sys
manifest = json.load(open(sys.argv[1] + "/mirror.json"))
release = manifest["products"][0]["releases"][1]
build = next(b for b in release["builds"] if b["family"] == "deb")
print(release["id"], build["repository"])
PY
)
release=$1
repository=$mirror/$2

# The packages the installation takes, as kitwright's dry run lists them.
packages=$(./scripts/overlay-root.sh "$program" install "$release" --dry-run --xml \
    --source "$mirror/" | python3 -c '
import sys, xml.etree.ElementTree as ET
print(" ".join(sorted(p.get("name") for p in ET.fromstring(sys.stdin.read()).iter("package"))))')
[ -n "$packages" ] || { echo "install_compare.sh: the dry run lists no packages" >&2; exit 1; }
echo "Release $release, packages: $packages"

# apt on its own: the same repository behind the same key, as the only source.
cat >"$work/apt.sh" <<EOF
set -e
echo "deb [signed-by=$mirror/keyring.gpg] file://$repository/ ./" >/etc/apt/sources.list.d/bench.list
apt-get -q -o Dir::Etc::SourceList=/dev/null update >/dev/null
apt-get -q -y -o Dir::Etc::SourceList=/dev/null "\$@" $packages >/dev/null
EOF

overlay=$PWD/scripts/overlay-root.sh
hyperfine --warmup 0 --runs ${KW_BENCH_RUNS:-5} --export-markdown "$work/table.md" \
    -n "kitwright install --dry-run" "$overlay $program install $release --dry-run --source $mirror/" \
    -n "apt-get -s install" "$overlay sh $work/apt.sh -s install" \
    -n "kitwright install" "$overlay $program install $release --source $mirror/" \
    -n "apt-get install" "$overlay sh $work/apt.sh install"
cat "$work/table.md"
