#!/bin/sh
# Installs the dependencies, builds the program, writes the sample mirror and installs the sample
# product from it in a throw-away root (scripts/overlay-root.sh), so that the machine stays as it was:
# prints what the program prints, then the product's packages as dpkg knows them and the package
# source it wrote.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

# Under the checkout, which the throw-away root sees at its own path; readable by apt's own user.
mirror=$PWD/build/sample-mirror
rm -rf "$mirror"
mkdir -m 755 "$mirror"
python3 tests/support/mirror/make_mirror.py "$mirror" --cache "$PWD/build/test-cache/mirror"
set -- $(python3 - "$mirror" <<'PY'
import json, sys
product = json.load(open(sys.argv[1] + "/mirror.json"))["products"][0]
print(product["id"], " ".join(p for c in product["components"] for p in c["packages"]))
PY
)
product=$1
shift

./scripts/overlay-root.sh sh -c '
program=$1 mirror=$2 product=$3
shift 3
"$program" install "$product" --source "$mirror/" || exit
echo
echo "Packages of $product (dpkg-query):"
dpkg-query -W -f="\${db:Status-Abbrev} \${Package} \${Version}\n" "$@" 2>/dev/null | grep "^ii"
echo
echo "/etc/apt/sources.list.d/$product.list:"
cat "/etc/apt/sources.list.d/$product.list"' sh "$PWD/build/installer/kitwright" "$mirror" "$product" "$@"
