#!/usr/bin/python3
"""Paired benchmark: times a Tessel command and a peer command in the same run.

Both commands run through bash, alternating (Tessel, peer, Tessel, ...) so that a
change of machine load hits both alike. After the warm-up runs, every timed run
records wall time and the peak resident set size, measured by /usr/bin/time
(the largest of the command's waited-for processes). A direct child of this
script would inherit this script's own resident size into its peak, hence the
small intermediate process; without /usr/bin/time the rusage of the child is
used and says so.
Prints medians, the ratio Tessel/peer (below 1: Tessel is faster), the median
of the per-pair ratios (Tessel run i / peer run i, steadier under a drifting
load), the peaks
and the machine's load average during the run (the 1-minute figure, averaged
over the timed runs: quiet and busy figures must be told apart), and can
append the result as a row of a Markdown table, the load beside the ratio.

Example:
  bench/paired.py --name "WAVE import 1 GiB" --reps 5 \
      --setup 'rm -f /tmp/out.trx' \
      --tessel 'build/tessel import wav /tmp/in.wav -o /tmp/out.trx' \
      --peer 'sox /tmp/in.wav -t raw /tmp/out.raw'
"""

import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time


GNU_TIME = "/usr/bin/time"


def run_once(command, env):
    """Runs one command; returns (seconds, peak RSS in KiB, exit status, stderr, CPU seconds).

    The CPU time (user and system) is that of the command and everything it
    waited for, from the kernel's account of the process.
    """
    argv = ["bash", "-c", command]
    rss_file = None
    if os.access(GNU_TIME, os.X_OK):
        fd, rss_file = tempfile.mkstemp(prefix="paired-rss-")
        os.close(fd)
        argv = [GNU_TIME, "-q", "-f", "%M", "-o", rss_file] + argv
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    rss = usage.ru_maxrss
    if rss_file:
        try:
            with open(rss_file) as f:
                rss = int(f.read().strip().splitlines()[-1])
        except (OSError, ValueError, IndexError):
            pass
        os.unlink(rss_file)
    return elapsed, rss, code, err, usage.ru_utime + usage.ru_stime


def run_hook(command, env, what):
    if not command:
        return
    r = subprocess.run(["bash", "-c", command], env=env)
    if r.returncode != 0:
        sys.exit(f"paired: {what} command failed ({r.returncode}): {command}")


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = ""
    try:
        with open("/proc/meminfo") as f:
            kib = int(f.readline().split()[1])
            mem = f"{kib / 1048576:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return f"{cpu}, {os.cpu_count()} cores, {mem}".strip(", ")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--name", required=True, help="what is measured")
    ap.add_argument("--tessel", required=True, help="the Tessel command")
    ap.add_argument("--peer", required=True, help="the peer command doing the same work")
    ap.add_argument("--peer-name", default="", help="name of the peer tool for the report")
    ap.add_argument("--reps", type=int, default=5, help="timed runs of each command")
    ap.add_argument("--warmup", type=int, default=1, help="untimed runs of each command first")
    ap.add_argument("--setup", default="", help="runs before every run of either command")
    ap.add_argument("--cleanup", default="", help="runs after every run of either command")
    ap.add_argument("--record", default="", help="append a Markdown table row to this file")
    ap.add_argument("--json", action="store_true", help="print the result as JSON")
    args = ap.parse_args(argv)
    if args.reps < 1 or args.warmup < 0:
        ap.error("--reps must be at least 1 and --warmup not negative")

    env = dict(os.environ)
    loads = []
    times = {"tessel": [], "peer": []}
    peaks = {"tessel": [], "peer": []}
    cpus = {"tessel": [], "peer": []}
    commands = {"tessel": args.tessel, "peer": args.peer}
    for i in range(args.warmup + args.reps):
        for who in ("tessel", "peer"):
            run_hook(args.setup, env, "setup")
            elapsed, rss, code, err, cpu = run_once(commands[who], env)
            run_hook(args.cleanup, env, "cleanup")
            if code != 0:
                sys.stderr.write(err)
                sys.exit(f"paired: {who} command failed ({code}): {commands[who]}")
            if i >= args.warmup:
                times[who].append(elapsed)
                peaks[who].append(rss)
                cpus[who].append(cpu)
                loads.append(os.getloadavg()[0])

    t_med = statistics.median(times["tessel"])
    p_med = statistics.median(times["peer"])
    ratio = t_med / p_med if p_med > 0 else float("inf")
    # Run i of Tessel and run i of the peer follow each other, so they see
    # nearly the same load; the median of their ratios is steadier under a
    # drifting load than the ratio of the two medians taken apart.
    pair_ratios = [t / p if p > 0 else float("inf") for t, p in zip(times["tessel"], times["peer"])]
    pair_ratio = statistics.median(pair_ratios)
    result = {
        "name": args.name,
        "date": datetime.date.today().isoformat(),
        "machine": machine(),
        "reps": args.reps,
        "warmup": args.warmup,
        "tessel_median_s": t_med,
        "peer_median_s": p_med,
        "ratio": ratio,
        "pair_ratio_median": pair_ratio,
        "pair_ratios": pair_ratios,
        "tessel_peak_rss_mib": max(peaks["tessel"]) / 1024.0,
        "peer_peak_rss_mib": max(peaks["peer"]) / 1024.0,
        "tessel_times_s": times["tessel"],
        "peer_times_s": times["peer"],
        "peer": args.peer_name or args.peer.split()[0],
        "load": statistics.mean(loads),
        "tessel_cpu_median_s": statistics.median(cpus["tessel"]),
        "peer_cpu_median_s": statistics.median(cpus["peer"]),
    }
    if args.json:
        print(json.dumps(result, indent=2))
    else:
        print(f"{args.name}: Tessel {t_med:.3f} s, {result['peer']} {p_med:.3f} s, "
              f"ratio {ratio:.2f} (median of {args.reps}, {args.warmup} warm-up; load {result['load']:.1f}), "
              f"median of per-pair ratios {pair_ratio:.2f}; "
              f"peak RSS Tessel {result['tessel_peak_rss_mib']:.1f} MiB, "
              f"{result['peer']} {result['peer_peak_rss_mib']:.1f} MiB; "
              f"CPU (user + system) Tessel {result['tessel_cpu_median_s']:.3f} s, "
              f"{result['peer']} {result['peer_cpu_median_s']:.3f} s")
    if args.record:
        row = (f"| {result['date']} | {result['machine']} | {args.name} | "
               f"{t_med:.3f} | {result['peer']} {p_med:.3f} | {ratio:.2f} (load {result['load']:.1f}; per pair {pair_ratio:.2f}) | "
               f"{result['tessel_peak_rss_mib']:.1f} | {result['peer_peak_rss_mib']:.1f} |\n")
        with open(args.record, "a") as f:
            f.write(row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
