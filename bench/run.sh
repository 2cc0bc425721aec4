#!/usr/bin/env bash
# Measures ambrel and writes BENCHMARKS.md: the library alone, and the Linux
# path against the floor and against psutil on the same fixture tree in one
# run, with system calls and instructions per call.
#   bench/run.sh            # needs root for the private mount namespace
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/bench"
fixture="$top/tests/fixtures/laptop"
calls=2000

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
"$bin/bench_status" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$out/alone.json"
instructions "$bin/bench_status" --loop "$calls" >"$out/alone_n.txt"
instructions "$bin/bench_status" --loop 0 >"$out/alone_0.txt"

# The Linux path, in a private mount namespace over the fixture.
sh "$top/tests/in_fixture_namespace.sh" "$fixture" bash -eu -c '
  bin=$1 out=$2 calls=$3
  "$bin/call_loop" ambrel 1 >/dev/null
  "$bin/bench_linux" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$out/linux.json"
  /usr/bin/python3 - "$calls" >"$out/psutil.txt" <<PY
import statistics, sys, timeit, psutil
n = int(sys.argv[1])
assert psutil.sensors_battery().percent == 87, psutil.sensors_battery()
print(statistics.median(timeit.repeat(psutil.sensors_battery, number=n, repeat=5)) / n * 1e9)
PY
  for mode in ambrel floor; do
    strace -c -f -o "$out/strace_${mode}_n.txt" "$bin/call_loop" $mode "$calls"
  done
  strace -c -f -o "$out/strace_loop_0.txt" "$bin/call_loop" ambrel 0
  strace -c -f -o "$out/strace_psutil_n.txt" /usr/bin/python3 -c "import psutil
for _ in range($calls): psutil.sensors_battery()"
  strace -c -f -o "$out/strace_psutil_0.txt" /usr/bin/python3 -c "import psutil"
  for mode in ambrel floor; do
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/call_loop" $mode "$calls" 2>&1 |
      awk "/Collected/ { print \$NF }" >"$out/instr_${mode}_n.txt"
  done
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/call_loop" ambrel 0 2>&1 |
    awk "/Collected/ { print \$NF }" >"$out/instr_loop_0.txt"
' bash "$bin" "$out" "$calls"

cpu=$(lscpu | awk -F: '/Model name/ { gsub(/^ +/, "", $2); print $2; exit }')
/usr/bin/python3 - "$out" "$calls" "$cpu" "$(nproc)" "$(uname -r)" "$(date -u +%Y-%m-%d)" >"$top/BENCHMARKS.md" <<'PY'
import json, sys
out, calls, cpu, cores, kernel, day = sys.argv[1], int(sys.argv[2]), *sys.argv[3:]

def median_ns(path, name):
    for b in json.load(open(f"{out}/{path}"))["benchmarks"]:
        if b["name"] == f"{name}_median":
            return b["real_time"], b
    raise SystemExit(f"no {name} in {path}")

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

def instr(n_path, zero_path):
    return (int(open(f"{out}/{n_path}").read()) - int(open(f"{out}/{zero_path}").read())) / calls

alone_ns, alone = median_ns("alone.json", "status_full_report")
ambrel_ns, _ = median_ns("linux.json", "ambrel_linux_path")
floor_ns, _ = median_ns("linux.json", "floor_read_every_uevent")
psutil_ns = float(open(f"{out}/psutil.txt").read())
sc = {m: per_call(f"strace_{m}_n.txt", f"strace_{'psutil' if m == 'psutil' else 'loop'}_0.txt")
      for m in ("ambrel", "floor", "psutil")}
ins = {m: instr(f"instr_{m}_n.txt", "instr_loop_0.txt") for m in ("ambrel", "floor")}
alone_ins = instr("alone_n.txt", "alone_0.txt")

def row(name):
    s = sc[name]
    return " | ".join(f"{s.get(k, 0):.0f}" for k in ("total", "openat", "read", "getdents64", "close"))

def verdict(ok):
    return "met" if ok else "MISSED"

print(f"""# Benchmarks

Measured on {day}: {cpu}, {cores} cores, Linux {kernel}. Reproduce with
`bench/run.sh` (as root: it mounts the fixture in a private mount namespace),
which rewrites this file. Times are medians of 5 repetitions; instructions come
from `valgrind --tool=callgrind` and system calls from `strace -c -f`, each over
{calls} calls less a run with none, divided by {calls}.

## The library alone

`ambrel_status` over the scripted platform, answering the full 203-byte report
(`bench/bench_status.cpp`): what ambrel itself costs, without the system.

| figure | value | target |
|---|---|---|
| time per call | {alone_ns:.0f} ns | under 1 µs: {verdict(alone_ns < 1000)} |
| allocations per call | {alone["allocations_per_call"]:.0f} | at most 4: {verdict(alone["allocations_per_call"] <= 4)} |
| blocks left allocated | {alone["leaked_blocks"]:.0f} | 0 |
| instructions per call | {alone_ins:.0f} | |

## The Linux path

The example laptop (`tests/fixtures/laptop`: a mains supply and a battery)
in tmpfs over `/sys/class/power_supply`, in a private mount namespace, measured
in one run: the real `libambrel.so` (`bench/bench_linux.cpp`), the floor that any
reader must pay — list the folder and read every supply's `uevent` once
(`bench/floor.c`) — and the alternative a user would pick instead,
`psutil.sensors_battery()` (Debian's python3-psutil).

| reader | time per call | instructions per call | system calls per call | openat | read | getdents64 | close |
|---|---|---|---|---|---|---|---|
| ambrel | {ambrel_ns / 1000:.1f} µs | {ins["ambrel"]:.0f} | {row("ambrel")} |
| floor | {floor_ns / 1000:.1f} µs | {ins["floor"]:.0f} | {row("floor")} |
| psutil.sensors_battery() | {psutil_ns / 1000:.1f} µs | | {row("psutil")} |

| target | measured | |
|---|---|---|
| within 1.5× of the floor | {ambrel_ns / floor_ns:.2f}× | {verdict(ambrel_ns <= 1.5 * floor_ns)} |
| at least 3× faster than psutil | {psutil_ns / ambrel_ns:.1f}× | {verdict(psutil_ns >= 3 * ambrel_ns)} |

What one ambrel call does on this tree: it lists the folder (open, two
`getdents64`, close), reads the `uevent` of each supply named before the
battery it has found so far (here both: `AC` sorts before `BAT0`), once each,
and opens the battery's folder as the device handle until the call ends: one
`openat` and one `close` more than the floor. In system calls that is all that
separates the two; the rest is ambrel's own work (parsing, the report document
and its text). Nothing is opened or read twice. The floor's one system call
not shown, `newfstatat`, is `opendir`'s.
""")
PY
echo "wrote $top/BENCHMARKS.md"
