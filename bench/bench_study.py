"""The study driver's benchmark (run on demand, never by CI):

    PYTHONPATH=build/python python3 bench/bench_study.py --orvex build/bin/orvex [--animals 1000,200]

For each study size: simulated animals of 2,000 fixes (`orvex simulate`), then
`python3 -m orvex.study` with KDE (LSCV, isopleths 95 and 50) and MCP 95 on one worker and on two.
Prints per run the wall time, the speed-up of two workers over one, the per-task overhead (wall
time times workers less the tasks' own durations, per task: reading, scheduling and writing),
Dask's own cost per task (tasks that do nothing), the largest worker's peak resident memory and the
CPU time the hypervisor took from the machine meanwhile (steal).
With --repeat N each study runs N times, one worker and two in turn, and the speed-up is that of
the median times (a shared or virtual machine's speed drifts by several percent from run to run).
"""

import argparse
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def simulate(orvex, folder, animals, fixes):
    subprocess.run([orvex, "simulate", "--out", folder, "--animals", str(animals), "--fixes", str(fixes),
                    "--seed", "1"], check=True, capture_output=True)
    return os.path.join(folder, "fixes.shp")


def study(fixes, out, workers):
    """Runs the study on a local cluster of `workers` processes; wall time, summed task time,
    tasks, and the workers' largest peak RSS in MB."""
    from distributed import Client

    from orvex.study import local_cluster

    cluster = local_cluster(workers)  # configured as the study configures its own
    client = Client(cluster)
    try:
        stolen = _steal_seconds()
        start = time.perf_counter()
        done = subprocess.run([sys.executable, "-m", "orvex.study", fixes, "--id", "AnimalID", "--out", out,
                               "--scheduler", cluster.scheduler_address], capture_output=True, text=True)
        wall = time.perf_counter() - start
        stolen = _steal_seconds() - stolen
        if done.returncode != 0:
            raise SystemExit(done.stdout + done.stderr)

        def peak_mb():
            # The worker's own high-water mark: ru_maxrss would also count the process that
            # started it (Linux keeps the larger of the two across exec).
            with open("/proc/self/status") as status:
                return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:")) / 1024.0

        memory = max(client.run(peak_mb).values())
        # Dask's own cost per task: tasks that do nothing, submitted and gathered as the study does.
        start = time.perf_counter()
        client.gather(client.map(_nothing, range(2000), pure=False))
        scheduling = (time.perf_counter() - start) / 2000 * 1000.0
    finally:
        client.close()
        cluster.close()
    db = sqlite3.connect(out)
    busy, tasks = db.execute("SELECT sum(duration), count(*) FROM tasks").fetchone()
    db.close()
    return wall, busy, tasks, memory, scheduling, stolen


def _steal_seconds():
    """CPU time the machine's hypervisor has taken from this virtual machine so far (the eighth
    figure of /proc/stat's first line, in clock ticks); 0 where there is none to read. With every
    core busy it stretches the tasks, and with it the speed-up of more workers."""
    try:
        with open("/proc/stat") as stat:
            fields = stat.readline().split()
        return int(fields[8]) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


def _nothing(i):
    return i


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--orvex", default="build/bin/orvex")
    parser.add_argument("--animals", default="1000,200")
    parser.add_argument("--fixes", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=1)
    args = parser.parse_args()
    for animals in [int(a) for a in args.animals.split(",")]:
        with tempfile.TemporaryDirectory(prefix="orvex-bench-") as folder:
            fixes = simulate(args.orvex, folder, animals, args.fixes)
            walls = {1: [], 2: []}
            for run in range(args.repeat):
                for workers in (1, 2):
                    out = os.path.join(folder, f"study{workers}-{run}.gpkg")
                    wall, busy, tasks, memory, scheduling, stolen = study(fixes, out, workers)
                    walls[workers].append(wall)
                    overhead = (wall * workers - busy) / tasks * 1000.0
                    print(f"{animals} animals x {args.fixes} fixes, {workers} worker(s): {wall:.1f} s wall, "
                          f"{busy:.1f} s in tasks, {tasks} tasks, overhead {overhead:.1f} ms/task, "
                          f"Dask alone {scheduling:.2f} ms/task, peak worker memory {memory:.0f} MB, "
                          f"steal {stolen:.1f} s", flush=True)
            walls = {w: statistics.median(times) for w, times in walls.items()}
            print(f"{animals} animals: two workers {walls[1] / walls[2]:.2f} x one", flush=True)


if __name__ == "__main__":
    main()
