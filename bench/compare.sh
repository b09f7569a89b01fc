#!/bin/sh
# Times the package model against the tools it stands beside, on this machine, and prints one table:
# whole commands in pairs through hyperfine (both commands of a pair in each of several rounds, so a
# change of load hits both), in-process figures from the Google Benchmark programs (medians of
# repetitions). Run by hand, as root, after a build; never run by the tests.
#   bench/compare.sh [BUILD_DIR]        (default: build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
driver=$build/bench/bench_driver
for program in "$driver" "$build/bench/package_model_bench" "$build/bench/repository_bench"; do
    [ -x "$program" ] || { echo "compare.sh: build $program first" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "compare.sh: needs hyperfine (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The inputs: 200 MB of random bytes, and a 20 MB catalogue-like XML file.
head -c 200M /dev/urandom >"$work/data.bin"
python3 - "$work/catalogue.xml" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<products>\n')
    size, n = 0, 0
    while size < 20 * 1024 * 1024:
        text = ('  <product id="product%d" name="Product &amp; tools %d" vendor="Zanth">\n'
                '    <description>Tools of product %d, with &lt;markup&gt; in its text.</description>\n'
                '    <release id="r%d" version="18.0.%d" tags="stable,release" upgrade_allowed="true">\n'
                '      <build os_name="Debian" os_vendor="Debian" os_version="12" os_arch="x86_64" config="builds/%d.inf3"/>\n'
                '      <build os_name="Ubuntu" os_vendor="Canonical" os_version="22.04" os_arch="x86_64" config="builds/u%d.inf3"/>\n'
                '      <!-- %d -->\n'
                '    </release>\n  </product>\n') % ((n,) * 8)
        out.write(text)
        size += len(text)
        n += 1
    out.write('</products>\n')
PY

# Each pair in three rounds of hyperfine; the figure of a command is the median of its round medians.
pair() {
    name=$1
    shift
    for round in 1 2 3; do
        hyperfine --shell=none --warmup 2 --runs "$RUNS" --style none --export-json "$work/$name.$round.json" "$@" \
            >/dev/null
    done
}
RUNS=15 pair installed "$driver installed" "$driver floor" "dpkg-query -W"
RUNS=5 pair md5 "$driver md5 $work/data.bin" "md5sum $work/data.bin"
RUNS=5 pair xml "$driver xml $work/catalogue.xml" "xmllint --noout $work/catalogue.xml"

"$build/bench/package_model_bench" --benchmark_filter='VersionCompare|DebVersionCompare|LibaptDebianCompare|LibrpmCompare' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json \
    >"$work/versions.json" 2>/dev/null
"$build/bench/repository_bench" --benchmark_filter='ReadInstalledPackages|QueryPipelineAlone|ResolveRequires' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json \
    >"$work/repository.json" 2>/dev/null

python3 - "$work" <<'PY'
import json, statistics, sys
work = sys.argv[1]

def whole(name):
    """Median of the round medians of each command of a pair, in seconds."""
    rounds = [json.load(open("%s/%s.%d.json" % (work, name, r)))["results"] for r in (1, 2, 3)]
    return [statistics.median(r[i]["median"] for r in rounds) for i in range(len(rounds[0]))]

def medians(name):
    """The median real time of each benchmark, in nanoseconds."""
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    figures = {}
    for b in json.load(open("%s/%s.json" % (work, name)))["benchmarks"]:
        if b.get("aggregate_name") == "median":
            figures[b["run_name"]] = b["real_time"] * scale[b["time_unit"]]
    return figures

installed, floor, dpkg = whole("installed")
ours_md5, md5sum = whole("md5")
ours_xml, xmllint = whole("xml")
v = medians("versions")
r = medians("repository")

rows = [
    ("read the installed packages into a `Repository`, in a running process",
     r["BM_ReadInstalledPackages"] / 1e6, "ms", r["BM_QueryPipelineAlone"] / 1e6, "the pipeline alone"),
    ("the same, whole process", installed * 1e3, "ms", floor * 1e3,
     "the floor program (bare `dpkg-query -W`: %.1f ms)" % (dpkg * 1e3)),
    ("`DebVersion::compare` (in process, 1,024 pairs)", v["BM_DebVersionCompare"], "ns",
     v["BM_LibaptDebianCompare"], "libapt-pkg"),
    ("MD5 of a 200 MB file", ours_md5, "s", md5sum, "`md5sum`"),
    ("load a 20 MB catalogue-like XML through `tinybind`", ours_xml, "s", xmllint, "`xmllint --noout`"),
    ("the requirement index over 50,000 synthetic packages", r["BM_ResolveRequires"] / 1e6, "ms", None, "-"),
    ("`Version::compare`", v["BM_VersionCompare"], "ns", v["BM_LibrpmCompare"], "librpm"),
]
print("| what | ours | reference on the same input | ratio |")
print("|---|---|---|---|")
for what, ours, unit, reference, label in rows:
    fmt = "%.3g " + unit
    ref = "-" if reference is None else (fmt % reference) + ": " + label
    ratio = "-" if reference is None else "%.2f" % (ours / reference)
    print("| %s | %s | %s | %s |" % (what, fmt % ours, ref, ratio))
PY
