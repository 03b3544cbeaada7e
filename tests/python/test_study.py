"""`python3 -m orvex.study` on small simulated animals: a two-worker local cluster against a run
without Dask, a worker killed mid-study, the driver killed and rerun. Results compared exactly:
the same engine computes them whatever the schedule."""

import os
import signal
import sqlite3
import subprocess
import sys
import time

import pytest

from conftest import run_orvex

ogr = pytest.importorskip("osgeo.ogr")
distributed = pytest.importorskip("distributed")

ANIMALS = 10


@pytest.fixture(scope="module")
def study(tmp_path_factory):
    """Ten simulated animals of 200 fixes, plus "Z9" with two fixes, which every analysis fails."""
    folder = tmp_path_factory.mktemp("study")
    if not os.path.exists(os.environ.get("ORVEX_BIN", "")):
        pytest.skip("ORVEX_BIN does not name the built orvex program")
    run_orvex("simulate", "--out", folder, "--animals", ANIMALS, "--fixes", 200, "--seed", 11)
    dataset = ogr.Open(str(folder / "fixes.shp"), 1)
    layer = dataset.GetLayer(0)
    for x, y in [(500000.0, 5650000.0), (500100.0, 5650050.0)]:
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetField("AnimalID", "Z9")
        feature.SetGeometry(ogr.CreateGeometryFromWkt(f"POINT ({x} {y})"))
        layer.CreateFeature(feature)
    dataset = None
    return folder / "fixes.shp"


def run_study(fixes, out, *flags, background=False, **popen):
    """The study as a process of its own: finished, or still running when `background`."""
    command = [sys.executable, "-m", "orvex.study", str(fixes), "--id", "AnimalID", "--out", str(out), *flags]
    if background:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **popen)
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def tables(path):
    """Every result row (geometries as bytes), the task states and the raster files."""
    db = sqlite3.connect(path)
    assert db.execute("PRAGMA integrity_check").fetchone() == ("ok",)
    rows = {
        "isopleths": sorted(db.execute("SELECT animal, percent, area, geom FROM isopleths")),
        "mcp": sorted(db.execute("SELECT animal, percent, area, n_used, geom FROM mcp")),
        "summary": sorted(db.execute("SELECT * FROM summary")),
        "tasks": sorted(db.execute("SELECT animal, analysis, status, input_hash FROM tasks")),
    }
    db.close()
    folder = str(path)[: -len(".gpkg")] + "_rasters"
    rows["rasters"] = {name: open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))}
    return rows


def done_tasks(path):
    try:
        db = sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=5)
        count = db.execute("SELECT count(*) FROM tasks WHERE status = 'done'").fetchone()[0]
        db.close()
        return count
    except sqlite3.Error:
        return 0


def wait_for(condition, seconds=60):
    end = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < end, "timed out"
        time.sleep(0.05)


def test_two_workers_equal_a_run_without_dask(study, tmp_path):
    serial = run_study(study, tmp_path / "serial.gpkg", "--workers", "0")
    parallel = run_study(study, tmp_path / "two.gpkg", "--workers", "2")
    # Z9 fails both analyses: recorded with its reason, the exit status says so.
    assert (serial.returncode, parallel.returncode) == (1, 1), parallel.stderr
    assert "failed: animal Z9, mcp: The MCP Analysis Percentage (95.00) is too low" in parallel.stderr
    one, two = tables(tmp_path / "serial.gpkg"), tables(tmp_path / "two.gpkg")
    for name in ("isopleths", "mcp", "summary", "rasters"):
        assert one[name] == two[name], name
    assert len(one["rasters"]) == ANIMALS and len(one["isopleths"]) == 2 * ANIMALS
    assert [t[:3] for t in one["tasks"] if t[0] == "Z9"] == [("Z9", "kde", "failed"), ("Z9", "mcp", "failed")]
    # GDAL reads the layers as a GeoPackage.
    package = ogr.Open(str(tmp_path / "two.gpkg"))
    assert package.GetDriver().GetName() == "GPKG"
    assert package.GetLayerByName("isopleths").GetFeatureCount() == 2 * ANIMALS
    assert package.GetLayerByName("mcp").GetSpatialRef().GetAuthorityCode(None) == "32633"
    # A rerun finds everything done but the failed animal, and changed parameters rerun all.
    again = run_study(study, tmp_path / "two.gpkg", "--workers", "0")
    assert f"{ANIMALS + 1} animals, 2 tasks to run, {2 * ANIMALS} done earlier" in again.stdout
    changed = run_study(study, tmp_path / "two.gpkg", "--workers", "0", "--mcp-percent", "90")
    assert f"{ANIMALS + 2} tasks to run, {ANIMALS} done earlier" in changed.stdout  # every MCP, and Z9's KDE


def on_task_start(client, marker, nth, action):
    """Runs `action(worker)` in a worker as its `nth` task starts (each worker counts its own),
    once in the cluster: the first worker to create the file `marker` does it. A task started is a task
    not finished, so the study is always caught midway, however fast the machine."""

    class Trigger(distributed.WorkerPlugin):
        def setup(self, worker):
            self.worker, self.started = worker, 0

        def transition(self, key, start, finish, **kwargs):
            if finish != "executing":
                return
            self.started += 1
            if self.started == nth and claim(marker):
                action(self.worker)

    def claim(path):
        try:
            os.close(os.open(path, os.O_CREAT | os.O_EXCL))
            return True
        except FileExistsError:
            return False

    client.register_worker_plugin(Trigger(), name="trigger")


def local_cluster(workers):
    cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
    return cluster, distributed.Client(cluster)


def test_a_killed_worker_is_replaced_and_the_study_completes(study, tmp_path):
    cluster, client = local_cluster(2)
    try:
        out = tmp_path / "killed.gpkg"
        # The worker dies as its second task starts, one task done and one lost midway.
        marker = tmp_path / "killed"
        on_task_start(client, marker, 2, lambda worker: os.kill(os.getpid(), signal.SIGKILL))
        driver = run_study(study, out, "--scheduler", cluster.scheduler_address, "--where", "AnimalID <> 'Z9'",
                           background=True)
        stdout, stderr = driver.communicate(timeout=120)
        assert marker.exists(), "no worker was killed"
        assert driver.returncode == 0, stderr
        assert done_tasks(out) == 2 * ANIMALS
        wait_for(lambda: len(client.scheduler_info()["workers"]) == 2)  # the nanny restarted it
    finally:
        client.close()
        cluster.close()


def test_a_killed_driver_reruns_only_the_missing_tasks(study, tmp_path):
    out, held, release = tmp_path / "resumed.gpkg", tmp_path / "held", tmp_path / "release"
    cluster, client = local_cluster(1)
    try:
        # The worker holds its fourth task until the driver is gone, so nothing lands after the kill.
        def hold(worker):
            end = time.monotonic() + 60
            while not release.exists() and time.monotonic() < end:
                time.sleep(0.02)

        on_task_start(client, held, 4, hold)
        driver = run_study(study, out, "--scheduler", cluster.scheduler_address, background=True)
        wait_for(lambda: held.exists() and done_tasks(out) >= 2)  # the driver records what came back
        driver.kill()
        driver.communicate()
        release.touch()
    finally:
        client.close()
        cluster.close()
    finished = done_tasks(out)
    assert 2 <= finished < 2 * ANIMALS
    rerun = run_study(study, out, "--workers", "0")
    assert f"{2 * (ANIMALS + 1) - finished} tasks to run, {finished} done earlier" in rerun.stdout
    assert rerun.returncode == 1  # Z9
    assert done_tasks(out) == 2 * ANIMALS
    fresh = run_study(study, tmp_path / "fresh.gpkg", "--workers", "0")
    resumed, clean = tables(out), tables(tmp_path / "fresh.gpkg")  # integrity_check of both
    assert all(resumed[name] == clean[name] for name in ("isopleths", "mcp", "summary", "rasters"))
    assert fresh.returncode == 1

@pytest.mark.parametrize(
    "sizes, threads",
    [([2000] * 200, 2), ([200] * 11, 2), ([50000, 10, 10, 30000, 10], 4), ([5], 1)],
)
def test_task_groups_hold_whole_animals_in_plan_order_and_shrink_to_the_end(sizes, threads):
    from types import SimpleNamespace

    from orvex.study import CHUNK_FIXES, chunks

    fixes = SimpleNamespace(animals={f"A{i}": [0] * n for i, n in enumerate(sizes)})
    plan = [(animal, analysis, "") for animal in fixes.animals for analysis in ("kde", "mcp")]
    groups = chunks(plan, fixes, threads)
    assert [task for group in groups for task in group] == plan
    fixes_of = [sum(len(fixes.animals[a]) for a, n, _ in group if n == "kde") for group in groups]
    for group, size in zip(groups, fixes_of):
        assert len(group) == 2 * len({a for a, _, _ in group})  # both tasks of each animal
        assert size <= CHUNK_FIXES or len(group) == 2  # only a single animal exceeds the cap
    # The last group is one animal, so the workers finish within one animal of each other.
    assert len(groups[-1]) == 2
