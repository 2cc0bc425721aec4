#!/usr/bin/env bash
# Measures ambrel and writes BENCHMARKS.md: the library alone (a status
# report and a two-battery power picture), and the Linux path of both calls
# against the floor, in interleaved rounds on the same fixture tree, and
# against psutil, with system calls and instructions per call.
#   bench/run.sh            # needs root for the private mount namespace
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/bench"
calls=2000
rounds=101

bash "$top/scripts/setup.sh" bench
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBREL_BUILD_BENCH=ON \
      -DAMBREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
bin="$build/bench"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

instructions() {   # instructions callgrind counts for one command
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 | awk '/Collected/ { print $NF }'
}

# The library alone.
"$bin/bench_library" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$out/alone.json"
instructions "$bin/bench_library" --loop "$calls" >"$out/alone_status_n.txt"
instructions "$bin/bench_library" --power-loop "$calls" >"$out/alone_power_n.txt"
instructions "$bin/bench_library" --power-device-loop "$calls" >"$out/alone_device_n.txt"
instructions "$bin/bench_library" --loop 0 >"$out/alone_0.txt"

# The Linux path, in a private mount namespace over each fixture.
for fixture in laptop dual-battery; do
  sh "$top/tests/in_fixture_namespace.sh" "$top/tests/fixtures/$fixture" bash -eu -c '
    bin=$1 out=$2/$3 calls=$4 rounds=$5
    "$bin/call_loop" ambrel 1 >/dev/null
    "$bin/interleaved" "$rounds" 200 >"${out}_interleaved.txt"
    for mode in ambrel power floor; do
      strace -c -f -o "${out}_strace_${mode}_n.txt" "$bin/call_loop" $mode "$calls"
      valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/call_loop" $mode "$calls" 2>&1 |
        awk "/Collected/ { print \$NF }" >"${out}_instr_${mode}_n.txt"
    done
    strace -c -f -o "${out}_strace_loop_0.txt" "$bin/call_loop" ambrel 0
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/call_loop" ambrel 0 2>&1 |
      awk "/Collected/ { print \$NF }" >"${out}_instr_loop_0.txt"
  ' bash "$bin" "$out" "$fixture" "$calls" "$rounds"
done

# psutil, on the laptop.
sh "$top/tests/in_fixture_namespace.sh" "$top/tests/fixtures/laptop" bash -eu -c '
  out=$1 calls=$2
  /usr/bin/python3 - "$calls" >"$out/psutil.txt" <<PY
import statistics, sys, timeit, psutil
n = int(sys.argv[1])
assert psutil.sensors_battery().percent == 87, psutil.sensors_battery()
print(statistics.median(timeit.repeat(psutil.sensors_battery, number=n, repeat=5)) / n * 1e9)
PY
  strace -c -f -o "$out/strace_psutil_n.txt" /usr/bin/python3 -c "import psutil
for _ in range($calls): psutil.sensors_battery()"
  strace -c -f -o "$out/strace_psutil_0.txt" /usr/bin/python3 -c "import psutil"
' bash "$out" "$calls"

cpu=$(lscpu | awk -F: '/Model name/ { gsub(/^ +/, "", $2); print $2; exit }')
/usr/bin/python3 - "$out" "$calls" "$rounds" "$cpu" "$(nproc)" "$(uname -r)" "$(date -u +%Y-%m-%d)" \
  >"$top/BENCHMARKS.md" <<'PY'
import json, sys
out, calls, rounds, cpu, cores, kernel, day = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), *sys.argv[4:]

def alone(name):
    for b in json.load(open(f"{out}/alone.json"))["benchmarks"]:
        if b["name"] == f"{name}_median":
            return b
    raise SystemExit(f"no {name} in alone.json")

def syscalls(path):
    counts = {}
    for line in open(f"{out}/{path}"):
        parts = line.split()
        if len(parts) >= 5 and parts[-1] != "syscall" and parts[0][0].isdigit():
            counts[parts[-1]] = int(parts[3])
    return counts

def per_call(n_path, zero_path):
    n, zero = syscalls(n_path), syscalls(zero_path)
    return {k: (n.get(k, 0) - zero.get(k, 0)) / calls for k in n}

def number(path):
    return int(open(f"{out}/{path}").read())

def interleaved(fixture):
    return {k: float(v) for k, v in (line.split() for line in open(f"{out}/{fixture}_interleaved.txt"))}

def verdict(ok):
    return "met" if ok else "MISSED"

status = alone("status_full_report")
device = alone("power_picture/two_batteries_device_class")
uevents = alone("power_picture/two_batteries_from_uevents")
alone_status_ins = (number("alone_status_n.txt") - number("alone_0.txt")) / calls
alone_power_ins = (number("alone_power_n.txt") - number("alone_0.txt")) / calls
alone_device_ins = (number("alone_device_n.txt") - number("alone_0.txt")) / calls

linux = {}
for fixture in ("laptop", "dual-battery"):
    f = {"times": interleaved(fixture)}
    f["syscalls"] = {m: per_call(f"{fixture}_strace_{m}_n.txt", f"{fixture}_strace_loop_0.txt")
                     for m in ("ambrel", "power", "floor")}
    f["instructions"] = {m: (number(f"{fixture}_instr_{m}_n.txt") - number(f"{fixture}_instr_loop_0.txt")) / calls
                         for m in ("ambrel", "power", "floor")}
    linux[fixture] = f
psutil_ns = float(open(f"{out}/psutil.txt").read())
psutil_sc = per_call("strace_psutil_n.txt", "strace_psutil_0.txt")

def sc_cells(s):
    return " | ".join(f"{s.get(k, 0):.0f}" for k in ("total", "openat", "read", "getdents64", "close"))

def path_rows(fixture):
    f = linux[fixture]
    t, s, i = f["times"], f["syscalls"], f["instructions"]
    rows = [
        f"| `ambrel_status` | {t['ambrel_status'] / 1000:.1f} µs | {t['ratio_status']:.2f}× | {i['ambrel']:.0f} | {sc_cells(s['ambrel'])} |",
        f"| `ambrel_power` | {t['ambrel_power'] / 1000:.1f} µs | {t['ratio_power']:.2f}× | {i['power']:.0f} | {sc_cells(s['power'])} |",
        f"| floor | {t['floor'] / 1000:.1f} µs | 1 | {i['floor']:.0f} | {sc_cells(s['floor'])} |",
    ]
    return "\n".join(rows)

laptop, dual = linux["laptop"]["times"], linux["dual-battery"]["times"]
worst_status = max(laptop["ratio_status"], dual["ratio_status"])
worst_power = max(laptop["ratio_power"], dual["ratio_power"])
header = "| reader | time per call | over the floor | instructions per call | system calls per call | openat | read | getdents64 | close |\n|---|---|---|---|---|---|---|---|---|"

print(f"""# Benchmarks

Measured on {day}: {cpu}, {cores} cores, Linux {kernel}. Reproduce with
`bench/run.sh` (as root: it mounts each fixture in a private mount namespace),
which rewrites this file. Times of the library alone are medians of 5
repetitions (Google Benchmark); instructions come from
`valgrind --tool=callgrind` and system calls from `strace -c -f`, each over
{calls} calls less a run with none, divided by {calls}. Instruction and system
call counts repeat exactly from run to run; times on this shared machine vary
by up to a factor of two between runs, which is why the Linux path is timed in
interleaved rounds.

## The library alone

Over the scripted platform, so that only ambrel's own work is timed
(`bench/bench_library.cpp`): `ambrel_status` answering the full 203-byte
report, and `ambrel_power` answering a two-battery picture, once through the
battery device class (the Windows way: queries and UTF-16 texts) and once
from the dual-battery fixture's three uevent texts (the Linux way: parsing
included).

| call | time per call | allocations per call | blocks left | instructions per call | target |
|---|---|---|---|---|---|
| `ambrel_status`, full report | {status["real_time"]:.0f} ns | {status["allocations_per_call"]:.0f} | {status["leaked_blocks"]:.0f} | {alone_status_ins:.0f} | under 1 µs, at most 4 allocations: {verdict(status["real_time"] < 1000 and status["allocations_per_call"] <= 4)} |
| `ambrel_power`, two batteries, device class | {device["real_time"]:.0f} ns | {device["allocations_per_call"]:.0f} | {device["leaked_blocks"]:.0f} | {alone_device_ins:.0f} | under 2 µs, at most 4 allocations: {verdict(device["real_time"] < 2000 and device["allocations_per_call"] <= 4)} |
| `ambrel_power`, two batteries, from uevents | {uevents["real_time"]:.0f} ns | {uevents["allocations_per_call"]:.0f} | {uevents["leaked_blocks"]:.0f} | {alone_power_ins:.0f} | under 2 µs, at most 4 allocations: {verdict(uevents["real_time"] < 2000 and uevents["allocations_per_call"] <= 4)} |

## The Linux path

Each fixture in tmpfs over `/sys/class/power_supply`, in a private mount
namespace. The real `libambrel.so` and the floor that any reader must pay —
list the folder and read every supply's `uevent` once (`bench/floor.c`) — are
called the same way (through a pointer, 200 calls a turn) in {rounds}
interleaved rounds whose order rotates (`bench/interleaved.c`); the times are
the medians over the rounds, and each ratio is the median of the per-round
ratios.

The example laptop (`tests/fixtures/laptop`: a mains supply and one battery):

{header}
{path_rows("laptop")}
| `psutil.sensors_battery()` | {psutil_ns / 1000:.1f} µs | {psutil_ns / laptop["floor"]:.2f}× | | {sc_cells(psutil_sc)} |

The dual-battery laptop (`tests/fixtures/dual-battery`: a mains supply, one
battery discharging and one idle):

{header}
{path_rows("dual-battery")}

| target | measured | |
|---|---|---|
| `ambrel_power` within 1.15× of the floor | {laptop["ratio_power"]:.2f}× and {dual["ratio_power"]:.2f}× | {verdict(worst_power <= 1.15)} |
| `ambrel_status` within 1.15× of the floor | {laptop["ratio_status"]:.2f}× and {dual["ratio_status"]:.2f}× | {verdict(worst_status <= 1.15)} |
| `ambrel_status` at least 3× faster than psutil | {psutil_ns / laptop["ambrel_status"]:.1f}× | {verdict(psutil_ns >= 3 * laptop["ambrel_status"])} |

What one call does on these trees. `ambrel_power` lists the folder (open,
two `getdents64`, close) and reads every supply's `uevent` once: the floor's
own system calls, nothing more. `ambrel_status` lists the folder and reads the
`uevent` of each supply named before the battery it has found so far, once
each; the battery found serves as the device handle, so nothing is opened or
read twice. The rest is ambrel's own work: parsing, the JSON document and its
text. The floor's one system call not shown, `newfstatat`, is `opendir`'s; its
`opendir` also allocates a 32 KiB buffer, which `getdents64` into a buffer on
the stack does not, and that is why ambrel can come in under the floor.
""")
PY
echo "wrote $top/BENCHMARKS.md"
