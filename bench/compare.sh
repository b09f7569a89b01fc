#!/bin/sh
# Times the package model against the tools it stands beside, on this machine, and prints one table:
# whole commands in pairs through hyperfine (both commands of a pair in each of several rounds, in
# turned order every other round, so a change of load hits both), in-process figures from the Google
# Benchmark programs (medians of repetitions). Whole commands get two ratios: of wall-clock time, and
# of the CPU time (user + system) they took. On a loaded machine the wall clock also counts the time a
# command waited for a CPU, and only the CPU ratio stays put. Run by hand, as root, after a build; never
# run by the tests.
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
# The inputs stay in the page cache; written back while the first pair runs, they would slow it down.
sync

# Each pair in ROUNDS rounds of hyperfine, the commands in turned order every other round; the figure
# of a command is the median of its round medians, of wall-clock and of CPU time.
ROUNDS=5
pair() {
    name=$1
    shift
    round=1
    while [ "$round" -le "$ROUNDS" ]; do
        if [ $((round % 2)) -eq 1 ]; then
            hyperfine --shell=none --warmup 2 --runs "$RUNS" --style none --export-json "$work/$name.$round.json" \
                "$@" >/dev/null
        else
            # hyperfine takes the commands in the order given; the figures are read back by command.
            reversed=
            for command; do reversed="$command
$reversed"; done
            printf '%s' "$reversed" | tr '\n' '\0' | xargs -0 hyperfine --shell=none --warmup 2 --runs "$RUNS" \
                --style none --export-json "$work/$name.$round.json" >/dev/null
        fi
        round=$((round + 1))
    done
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
RUNS=9 pair installed "$driver installed" "$driver floor" "dpkg-query -W"
RUNS=3 pair md5 "$driver md5 $work/data.bin" "md5sum $work/data.bin"
RUNS=3 pair xml "$driver xml $work/catalogue.xml" "xmllint --noout $work/catalogue.xml"

"$build/bench/package_model_bench" --benchmark_filter='VersionCompare|DebVersionCompare|LibaptDebianCompare|LibrpmCompare' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json \
    >"$work/versions.json" 2>/dev/null
"$build/bench/repository_bench" --benchmark_filter='ReadInstalledPackages|QueryPipelineAlone|ResolveRequires' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json \
    >"$work/repository.json" 2>/dev/null
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$work" "$ROUNDS" "$load_before" "$load_after" <<'PY'
import json, statistics, sys
work, rounds_run = sys.argv[1], int(sys.argv[2])

def whole(name):
    """For each command of a pair in the order first given: the median of its round medians of wall-clock
    time and the median of its round means of CPU time, in seconds."""
    rounds = [json.load(open("%s/%s.%d.json" % (work, name, r)))["results"] for r in range(1, rounds_run + 1)]
    commands = [result["command"] for result in rounds[0]]
    figures = []
    for command in commands:
        results = [next(result for result in r if result["command"] == command) for r in rounds]
        figures.append((statistics.median(result["median"] for result in results),
                        statistics.median(result["user"] + result["system"] for result in results)))
    return figures

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

# (what, unit, ours, reference, label); a whole command's figures are (wall clock, CPU) pairs.
rows = [
    ("read the installed packages into a `Repository`, in a running process", "ms",
     r["BM_ReadInstalledPackages"] / 1e6, r["BM_QueryPipelineAlone"] / 1e6, "the pipeline alone"),
    ("the same, whole process", "ms", tuple(x * 1e3 for x in installed), tuple(x * 1e3 for x in floor),
     "the floor program (bare `dpkg-query -W`: %.1f ms)" % (dpkg[0] * 1e3)),
    ("`DebVersion::compare` (in process, 1,024 pairs)", "ns", v["BM_DebVersionCompare"],
     v["BM_LibaptDebianCompare"], "libapt-pkg"),
    ("MD5 of a 200 MB file", "s", ours_md5, md5sum, "`md5sum`"),
    ("load a 20 MB catalogue-like XML through `tinybind`", "s", ours_xml, xmllint, "`xmllint --noout`"),
    ("the requirement index over 50,000 synthetic packages, first resolution of a list just read", "ms",
     r["BM_ResolveRequiresFirst/iterations:1"] / 1e6, None, "-"),
    ("the same, rebuilt", "ms", r["BM_ResolveRequires"] / 1e6, None, "-"),
    ("`Version::compare`", "ns", v["BM_VersionCompare"], v["BM_LibrpmCompare"], "librpm"),
]
print("| what | ours | reference on the same input | ratio | CPU: ours, reference, ratio |")
print("|---|---|---|---|---|")
for what, unit, ours, reference, label in rows:
    fmt = "%.3g " + unit
    wall, cpu = ours if isinstance(ours, tuple) else (ours, None)
    ref_wall, ref_cpu = reference if isinstance(reference, tuple) else (reference, None)
    ref = "-" if ref_wall is None else (fmt % ref_wall) + ": " + label
    ratio = "-" if ref_wall is None else "%.2f" % (wall / ref_wall)
    cpu_text = "-" if cpu is None else "%s, %s, %.2f" % (fmt % cpu, fmt % ref_cpu, cpu / ref_cpu)
    print("| %s | %s | %s | %s | %s |" % (what, fmt % wall, ref, ratio, cpu_text))
print()
print("Load average (1, 5, 15 min) before: %s; after: %s." % (sys.argv[3], sys.argv[4]))
PY
