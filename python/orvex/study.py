"""A whole study, each animal's analyses as tasks on Dask distributed.

    python3 -m orvex.study FIXES --id FIELD --out RESULTS.gpkg [--analyses kde,mcp]
                           [--workers N | --scheduler tcp://host:8786]

By default each animal gets KDE (LSCV, fixed kernel, its own minimum extent, cell size 100)
with isopleths 95 and 50, and MCP 95 (Fixed Mean). The results go into one GeoPackage: the
layers "isopleths" and "mcp" (every animal), the table "summary" (one row per animal) and the
table "tasks", which records each task (animal, analysis, parameters, a hash of the animal's
fixes and parameters, status, reason, duration, outputs). UD rasters go to the folder
"<RESULTS>_rasters" beside it. A rerun computes only the tasks that are not done or whose fixes
or parameters changed. Only this process (the driver) writes, each result (or results that arrive together) in one
transaction.
Exit status: 0 when every task is done, 1 when any failed (each failure is in "tasks" with its
reason), 2 for a usage or input error.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import re
import sys
import tempfile
import time
import uuid
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, List, Optional

import numpy as np

import orvex
from orvex import _orvex
from orvex.geopackage import GeoPackage, geometry_blob

ANALYSES = ("kde", "mcp")


# --- the tasks, run on the workers ---------------------------------------------------------


def _kde_task(x, y, params: dict) -> dict:
    ud = orvex.kde(
        x,
        y,
        h=params["bandwidth"],
        cell_size=params["cell_size"],
        kernel=params["kernel"],
        rescale=params["rescale"],
        threads=params["threads"],
    )
    isopleths = ud.isopleths(params["isopleths"])
    with tempfile.TemporaryDirectory(prefix="orvex-study-") as folder:
        path = os.path.join(folder, "ud.tif")
        ud.to_geotiff(path)
        with open(path, "rb") as raster:
            tiff = raster.read()
    return {
        "h": ud.h,
        "href": ud.href,
        "isopleths": [(i.percent, i.area, i.wkb) for i in isopleths],
        "raster": tiff,
        "warnings": ud.warnings,
    }


def _mcp_task(x, y, params: dict) -> dict:
    polygons = []
    for percent in params["percents"]:
        result = orvex.mcp(x, y, percent=percent, style=params["style"])
        polygons.append((percent, result.area, result.wkb, result.n_used))
    return {"polygons": polygons}


def run_task(animal: str, analysis: str, params: dict, x: np.ndarray, y: np.ndarray) -> dict:
    """One animal's analysis. An error of the estimator is a result (status "failed" and its
    reason), not an exception: Dask reruns a task only when its worker is lost."""
    start = time.perf_counter()
    try:
        output = (_kde_task if analysis == "kde" else _mcp_task)(x, y, params)
        status, reason = "done", ""
    except (orvex.OrvexError, ValueError) as error:
        output, status, reason = {}, "failed", str(error)
    return {
        "animal": animal,
        "analysis": analysis,
        "status": status,
        "reason": reason,
        "duration": time.perf_counter() - start,
        "output": output,
    }


def run_tasks(items: List[tuple]) -> List[dict]:
    """Several tasks, (animal, analysis, params, x, y) each, in order: one Dask task for a few
    small animals, so that scheduling costs little next to the work."""
    return [run_task(*item) for item in items]


# Fixes of the animals in one Dask task, at most: a few animals of a typical study, so that a
# worker holds little more than its largest animal.
CHUNK_FIXES = 16000


def chunks(plan: List[tuple], fixes: orvex.Fixes, threads: int) -> List[List[tuple]]:
    """The plan's tasks cut into groups of whole animals (a plan lists an animal's tasks side by
    side). Each group holds at most CHUNK_FIXES fixes and at most a fourth of the fixes left for
    each of the workers' `threads` (at least one animal): groups shrink towards the end of the
    plan, so that the workers finish together (Dask starts them in the order submitted)."""
    animals = list(dict.fromkeys(task[0] for task in plan))
    left = sum(len(fixes.animals[animal]) for animal in animals)
    groups: List[List[tuple]] = []
    budget = size = 0
    for task in plan:
        animal = task[0]
        if not groups or groups[-1][-1][0] != animal:
            n = len(fixes.animals[animal])
            if not groups or size + n > budget:
                groups.append([])
                budget = min(CHUNK_FIXES, left // (4 * max(1, threads)))
                size = 0
            size += n
            left -= n
        groups[-1].append(task)
    return groups


# --- planning ------------------------------------------------------------------------------


def task_parameters(args) -> Dict[str, dict]:
    """The parameters of each analysis asked for, as recorded in the task table."""
    params = {}
    if "kde" in args.analyses:
        params["kde"] = {
            "bandwidth": args.bandwidth,
            "cell_size": args.cell_size,
            "kernel": args.kernel,
            "rescale": args.rescale,
            "extent": "min",
            "isopleths": args.isopleths,
            "threads": args.threads,
        }
    if "mcp" in args.analyses:
        params["mcp"] = {"percents": args.mcp_percent, "style": args.mcp_style}
    return params


def input_hash(track: orvex.Track, params: dict) -> str:
    """What a task's result depends on: the animal's fixes and the analysis's parameters (not
    the thread count, which changes no result)."""
    digest = hashlib.sha256()
    for values in (track.x, track.y):
        digest.update(np.ascontiguousarray(values, dtype="<f8").tobytes())
    digest.update(json.dumps({k: v for k, v in params.items() if k != "threads"}, sort_keys=True).encode())
    return digest.hexdigest()


def raster_name(animal: str) -> str:
    """The raster file of an animal: characters other than letters, digits, '-', '_' and '.'
    become '_', as `orvex locoh` names its files."""
    return re.sub(r"[^A-Za-z0-9_.-]", "_", animal) + "_kde.tif"


# --- the results file ----------------------------------------------------------------------


class StudyResults:
    """The GeoPackage of a study and its raster folder; every write is one transaction."""

    def __init__(self, path: str, crs_wkt: str):
        self.package = GeoPackage(path)
        self.rasters = os.path.splitext(path)[0] + "_rasters"
        os.makedirs(self.rasters, exist_ok=True)
        db = self.package.db
        with self.package.transaction():
            self.srs = self.package.srs_id(crs_wkt, _orvex.crs_epsg(crs_wkt))
            self.package.create_attributes(
                "tasks",
                [
                    "animal TEXT NOT NULL",
                    "analysis TEXT NOT NULL",
                    "parameters TEXT",
                    "input_hash TEXT",
                    "status TEXT",
                    "reason TEXT",
                    "duration REAL",
                    "outputs TEXT",
                    "finished TEXT",
                ],
                "UNIQUE (animal, analysis)",
            )
            self.package.create_features("isopleths", ["animal TEXT", "percent REAL", "area REAL"], self.srs)
            self.package.create_features("mcp", ["animal TEXT", "percent REAL", "area REAL", "n_used INTEGER"], self.srs)
            # Each recorded result first deletes its animal's rows: without an index every delete
            # reads the whole layer, and a study's recording grows as the square of its animals.
            for layer in ("isopleths", "mcp"):
                db.execute(f'CREATE INDEX IF NOT EXISTS "{layer}_animal" ON "{layer}" (animal)')
        self.db = db

    def done_hashes(self) -> Dict[tuple, str]:
        rows = self.db.execute("SELECT animal, analysis, input_hash FROM tasks WHERE status = 'done'")
        return {(a, n): h for a, n, h in rows}

    def record(self, results: List[tuple]) -> None:
        """Replaces, for each (result, parameters, digest) of `results`, the animal's rows of
        that analysis and its task row, all in one transaction; raster files are complete
        (written aside, then renamed) before the transaction commits."""
        outputs = [self._raster_outputs(result) for result, _, _ in results]
        touched = {"tasks"}
        with self.package.transaction() as db:
            for (result, params, digest), written in zip(results, outputs):
                touched.add(self._record_rows(db, result, params, digest, written))
            self.package.touch(sorted(touched))

    def _raster_outputs(self, result: dict) -> dict:
        """Writes a done KDE task's raster; the outputs recorded in its task row."""
        output = result["output"]
        if result["status"] != "done":
            return {}
        if result["analysis"] != "kde":
            return {"percents": [p for p, *_ in output["polygons"]]}
        name = raster_name(result["animal"])
        final = os.path.join(self.rasters, name)
        with open(final + ".part", "wb") as raster:
            raster.write(output["raster"])
        os.replace(final + ".part", final)
        return {"raster": name, "h": output["h"], "href": output["href"], "warnings": output["warnings"]}

    def _record_rows(self, db, result: dict, params: dict, digest: str, outputs: dict) -> str:
        """The rows of one result, within the caller's transaction; the layer it wrote."""
        animal, analysis, output = result["animal"], result["analysis"], result["output"]
        layer = "isopleths" if analysis == "kde" else "mcp"
        db.execute(f"DELETE FROM {layer} WHERE animal = ?", (animal,))
        if result["status"] == "done" and analysis == "kde":
            db.executemany(
                "INSERT INTO isopleths (geom, animal, percent, area) VALUES (?, ?, ?, ?)",
                [(geometry_blob(w, self.srs), animal, p, a) for p, a, w in output["isopleths"]],
            )
        elif result["status"] == "done":
            db.executemany(
                "INSERT INTO mcp (geom, animal, percent, area, n_used) VALUES (?, ?, ?, ?, ?)",
                [(geometry_blob(w, self.srs), animal, p, a, n) for p, a, w, n in output["polygons"]],
            )
        db.execute(
            "INSERT INTO tasks (animal, analysis, parameters, input_hash, status, reason, duration, outputs, finished)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, strftime('%Y-%m-%dT%H:%M:%fZ','now'))"
            " ON CONFLICT (animal, analysis) DO UPDATE SET parameters = excluded.parameters,"
            " input_hash = excluded.input_hash, status = excluded.status, reason = excluded.reason,"
            " duration = excluded.duration, outputs = excluded.outputs, finished = excluded.finished",
            (
                animal,
                analysis,
                json.dumps(params, sort_keys=True),
                digest,
                result["status"],
                result["reason"],
                result["duration"],
                json.dumps(outputs, sort_keys=True),
            ),
        )
        return layer

    def write_summary(self, fixes: orvex.Fixes, params: Dict[str, dict]) -> None:
        """Rebuilds "summary" (animal, fixes, time span, href, h, method, area per percent) from
        the recorded results, in one transaction."""
        kde_p = params.get("kde", {}).get("isopleths", [])
        mcp_p = params.get("mcp", {}).get("percents", [])
        area_columns = [f"kde{_label(p)} REAL" for p in kde_p] + [f"mcp{_label(p)} REAL" for p in mcp_p]
        outputs = {
            (a, n): json.loads(o or "{}")
            for a, n, o in self.db.execute("SELECT animal, analysis, outputs FROM tasks WHERE status = 'done'")
        }
        areas = {}
        for layer in ("isopleths", "mcp"):
            prefix = "kde" if layer == "isopleths" else "mcp"
            for animal, percent, area in self.db.execute(f"SELECT animal, percent, area FROM {layer}"):
                areas[(animal, f"{prefix}{_label(percent)}")] = area
        rows = []
        for animal, track in fixes.animals.items():
            times = track.t[np.isfinite(track.t)]
            kde_out = outputs.get((animal, "kde"), {})
            row = [animal, len(track)]
            row += [float(times.min()), float(times.max())] if times.size else [None, None]
            row += [kde_out.get("href"), kde_out.get("h"), params["kde"]["bandwidth"] if kde_out else None]
            row += [areas.get((animal, c.split()[0])) for c in area_columns]
            rows.append(row)
        columns = ["animal TEXT", "fixes INTEGER", "t_first REAL", "t_last REAL", "href REAL", "h REAL", "method TEXT"]
        columns += area_columns
        with self.package.transaction() as db:
            db.execute("DROP TABLE IF EXISTS summary")
            db.execute("DELETE FROM gpkg_contents WHERE table_name = 'summary'")
            self.package.create_attributes("summary", columns)
            names = ", ".join(c.split()[0] for c in columns)
            marks = ", ".join("?" * len(columns))
            db.executemany(f"INSERT INTO summary ({names}) VALUES ({marks})", rows)

    def failures(self) -> List[tuple]:
        return list(self.db.execute("SELECT animal, analysis, reason FROM tasks WHERE status = 'failed' ORDER BY fid"))

    def close(self) -> None:
        self.package.close()


def _label(percent: float) -> str:
    return f"{percent:g}".replace(".", "_")


# --- the driver ----------------------------------------------------------------------------


class Progress:
    """Animals done, failed and running, on one line of a terminal (nothing otherwise), redrawn
    at most a few times a second."""

    def __init__(self, tasks_per_animal: Dict[str, int], stream=sys.stderr):
        self.left = dict(tasks_per_animal)
        self.total = len(tasks_per_animal)
        self.failed = set()
        self.done = 0
        self.stream = stream
        self.terminal = stream.isatty()
        self.running = lambda: 0  # tasks being computed now
        self.drawn = 0.0

    def finished(self, animal: str, failed: bool) -> None:
        if failed:
            self.failed.add(animal)
        self.left[animal] -= 1
        if self.left[animal] == 0:
            self.done += 1
        self.draw()

    def draw(self, end: str = "") -> None:
        now = time.monotonic()
        if not self.terminal or (not end and now - self.drawn < 0.25):
            return
        self.drawn = now
        running = 0 if end else self.running()
        self.stream.write(
            f"\ranimals: {self.done}/{self.total} done, {len(self.failed)} failed, {running} tasks running " + end
        )
        self.stream.flush()


# A study's own cluster serves no dashboard, so it runs without the statistical profiler (a
# sample of every worker's stack each 10 ms) and checks the health of its event loops and
# machine less often: on a machine whose every core runs a worker, those take their CPU from the
# analyses. A cluster given by address keeps its own settings.
LOCAL_CLUSTER_CONFIG = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "500ms",
    "distributed.admin.system-monitor.interval": "2s",
}


def local_cluster(workers: int):
    """A cluster of `workers` processes of one thread each on this machine, as a study makes it."""
    import dask
    from distributed import LocalCluster

    with dask.config.set(LOCAL_CLUSTER_CONFIG):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)


def _client(args):
    from distributed import Client

    if args.scheduler:
        return Client(args.scheduler), None
    cluster = local_cluster(args.workers or os.cpu_count() or 1)
    return Client(cluster), cluster


def run_study(args) -> int:
    dask = args.workers != 0 or args.scheduler
    with ThreadPoolExecutor(1) as reader:
        # The fixes are read (without the interpreter lock) while Dask starts or connects.
        reading = reader.submit(orvex.read_fixes, args.fixes, args.id, args.time_field, args.where)
        client, cluster = _client(args) if dask else (None, None)
        try:
            try:
                fixes = reading.result()
            except orvex.OrvexError as error:
                print(f"orvex.study: {error}", file=sys.stderr)
                return 2
            return _run_plan(args, fixes, client)
        finally:
            if client is not None:
                client.close()
            if cluster is not None:
                cluster.close()


def _run_plan(args, fixes: orvex.Fixes, client) -> int:
    """The tasks not done yet, on `client` (None: in this process), and the summary."""
    params = task_parameters(args)
    results = StudyResults(args.out, fixes.crs)
    try:
        done = results.done_hashes()
        plan = []
        for animal, track in fixes.animals.items():
            for analysis, p in params.items():
                digest = input_hash(track, p)
                if done.get((animal, analysis)) != digest:
                    plan.append((animal, analysis, digest))
        print(f"{len(fixes.animals)} animals, {len(plan)} tasks to run, "
              f"{len(fixes.animals) * len(params) - len(plan)} done earlier")
        per_animal: Dict[str, int] = {}
        for animal, _, _ in plan:
            per_animal[animal] = per_animal.get(animal, 0) + 1
        progress = Progress(per_animal)
        hashes = {(a, n): d for a, n, d in plan}

        def take(batch: List[dict]) -> None:
            results.record([(r, params[r["analysis"]], hashes[(r["animal"], r["analysis"])]) for r in batch])
            for r in batch:
                progress.finished(r["animal"], r["status"] != "done")

        if plan and client is None:
            progress.running = lambda: 1
            for animal, analysis, _ in plan:
                track = fixes.animals[animal]
                take([run_task(animal, analysis, params[analysis], track.x, track.y)])
        elif plan:
            from distributed import as_completed

            progress.running = lambda: sum(len(keys) for keys in client.processing().values())
            run = uuid.uuid4().hex[:12]  # keys of this run only, on a scheduler shared with others
            threads = sum(client.nthreads().values()) or 1
            groups = chunks(plan, fixes, threads)

            def submit(first: int, last: int) -> list:
                return client.map(
                    run_tasks,
                    [
                        [(a, n, params[n], fixes.animals[a].x, fixes.animals[a].y) for a, n, _ in group]
                        for group in groups[first:last]
                    ],
                    key=[f"orvex-{run}-{i}" for i in range(first, last)],
                    pure=False,
                )

            # Two submissions: the first groups alone, so that every worker starts while the rest
            # of the plan (its fixes) is packed and sent, then the rest in one call (Dask looks up
            # the caller's source once per call, which per task cost more than the scheduling).
            head = min(len(groups), 2 * threads)
            futures = submit(0, head)
            if head < len(groups):
                futures += submit(head, len(groups))
            # Results that arrive together are recorded in one transaction.
            for batch in as_completed(futures).batches():
                take([result for future in batch for result in future.result()])
                for future in batch:
                    future.release()
        progress.draw("\n")
        results.write_summary(fixes, params)
        failures = results.failures()
        for animal, analysis, reason in failures:
            print(f"failed: animal {animal}, {analysis}: {reason}", file=sys.stderr)
        print(f"{args.out}: {len(fixes.animals)} animals, {len(failures)} failed tasks; rasters in {results.rasters}")
        return 1 if failures else 0
    finally:
        results.close()


def _numbers(text: str) -> List[float]:
    try:
        return [float(v) for v in text.split(",") if v.strip()]
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a list of numbers: {text!r}")


def _analyses(text: str) -> List[str]:
    names = [v.strip() for v in text.split(",") if v.strip()]
    unknown = [n for n in names if n not in ANALYSES]
    if unknown or not names:
        raise argparse.ArgumentTypeError(f"analyses are {', '.join(ANALYSES)}, not {text!r}")
    return names


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="python3 -m orvex.study", description="Every animal's home range, as tasks on Dask distributed."
    )
    p.add_argument("fixes", help='point layer: "fixes.shp" or "study.gpkg|layername=fixes"')
    p.add_argument("--id", required=True, help="the animal identifier field")
    p.add_argument("--out", required=True, help="the results GeoPackage (created, or resumed)")
    p.add_argument("--time-field", default="Time2", help="seconds since 1970 (default Time2)")
    p.add_argument("--where", default=None, help="limits the fixes, as `orvex kde --where`")
    p.add_argument("--analyses", type=_analyses, default=list(ANALYSES), help="kde,mcp (default both)")
    p.add_argument("--bandwidth", default="lscv", choices=["lscv", "href", "bcv"])
    p.add_argument("--cell-size", type=float, default=100.0)
    p.add_argument("--kernel", default="fixed", choices=["fixed", "adaptive"])
    p.add_argument("--rescale", action="store_true")
    p.add_argument("--isopleths", type=_numbers, default=[95.0, 50.0])
    p.add_argument("--mcp-percent", type=_numbers, default=[95.0])
    p.add_argument("--mcp-style", default="fixed_mean")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=None,
                       help="local cluster of N worker processes (default: one per core; 0: no Dask, in this process)")
    where.add_argument("--scheduler", default=None, help="a running Dask scheduler, e.g. tcp://host:8786")
    p.add_argument("--threads", type=int, default=1, help="threads of each task's sums (default 1)")
    return p


def main(argv: Optional[List[str]] = None) -> int:
    args = parser().parse_args(argv)
    return run_study(args)


if __name__ == "__main__":
    sys.exit(main())
