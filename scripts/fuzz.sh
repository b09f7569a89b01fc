#!/bin/sh
# Runs the fuzz targets for a while each: scripts/fuzz.sh SECONDS [TARGET...] (default: all).
# The targets come from the clang tree of the main build (build/fuzz-build/fuzz, or $KW_FUZZ_DIR),
# which is built first when it is missing. Each run starts from the target's seeds (fuzz/seeds/ and
# test fixtures) in a scratch corpus; an input that fails is kept in build/fuzz-artifacts (or
# $KW_FUZZ_ARTIFACTS) and the script exits non-zero.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 SECONDS [TARGET...]" >&2; exit 2; }
seconds=$1
shift
dir=${KW_FUZZ_DIR:-$root/build/fuzz-build/fuzz}
artifacts=${KW_FUZZ_ARTIFACTS:-$root/build/fuzz-artifacts}

if [ ! -d "$dir" ]; then
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$root/build" --target fuzz_targets
fi
if [ $# -eq 0 ]; then
    set -- $(cd "$root/fuzz" && ls -- *_fuzz.cpp | sed 's/\.cpp$//')
fi

# The seed directories and the dictionary of a target.
seeds_of() {
    case $1 in
        tinybind_text_fuzz | tinybind_file_fuzz) echo "$root/fuzz/seeds/xml $root/tests/data/tinybind" ;;
        *) echo "$root/fuzz/seeds/${1%_fuzz}" ;;
    esac
}
dict_of() {
    case $1 in
        tinybind_text_fuzz | tinybind_file_fuzz | package_xml_fuzz) echo "$root/fuzz/dict/xml.dict" ;;
        *) echo "$root/fuzz/dict/${1%_fuzz}.dict" ;;
    esac
}

mkdir -p "$artifacts"
status=0
for target in "$@"; do
    binary=$dir/$target
    [ -x "$binary" ] || { echo "fuzz: no target $binary" >&2; status=1; continue; }
    corpus=$(mktemp -d)
    dict=$(dict_of "$target")
    dict_option=
    [ -f "$dict" ] && dict_option=-dict=$dict
    echo "fuzz: $target for ${seconds}s"
    # Word splitting of the seed list and the optional dictionary is meant.
    # shellcheck disable=SC2046,SC2086
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
        "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
        -artifact_prefix="$artifacts/$target-" $dict_option "$corpus" $(seeds_of "$target"); then
        echo "fuzz: $target failed; the input is in $artifacts" >&2
        status=1
    fi
    rm -rf "$corpus"
done
exit $status
