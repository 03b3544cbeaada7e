"""The Python API against the command line's files on the same simulated fixes: rasters and
fixes bit for bit, isopleth and MCP polygons to 1e-9 relative (their areas measured by OGR on
the shapefiles `orvex` wrote), bandwidths exactly."""

import json

import numpy as np
import pytest

import orvex
from conftest import run_orvex

gdal = pytest.importorskip("osgeo.gdal")
ogr = pytest.importorskip("osgeo.ogr")

# (name, command-line flags, Python keywords): one `orvex kde` run per row, every animal.
KDE_CASES = [
    ("lscv-min", ["--bandwidth", "lscv", "--extent", "min", "--cell-size", "50"],
     dict(h="lscv", cell_size=50)),
    ("href-full-adaptive", ["--bandwidth", "href", "--extent", "full:1500", "--kernel", "adaptive"],
     dict(h="href", kernel="adaptive")),
    ("bcv-rescaled", ["--bandwidth", "bcv", "--extent", "min", "--rescale", "--cell-size", "40"],
     dict(h="bcv", rescale=True, cell_size=40)),
]


@pytest.fixture(scope="module")
def fixes(simulated):
    return orvex.read_fixes(str(simulated / "fixes.shp"))


def _raster(path):
    dataset = gdal.Open(str(path))
    return dataset.GetGeoTransform(), dataset.GetRasterBand(1).ReadAsArray()


def _layer_rows(path, fields):
    dataset = ogr.Open(str(path))
    layer = dataset.GetLayer(0)
    return [tuple(f.GetField(n) for n in fields) + (f.GetGeometryRef().GetArea(),) for f in layer]


def test_read_fixes_matches_the_layer(simulated, fixes):
    dataset = ogr.Open(str(simulated / "fixes.shp"))  # kept: its layers die with it
    layer = dataset.GetLayer(0)
    expected = {}
    for feature in layer:
        point = feature.GetGeometryRef()
        expected.setdefault(feature.GetField("AnimalID"), []).append(
            (point.GetX(), point.GetY(), float(feature.GetField("Time2"))))
    assert list(fixes.animals) == sorted(expected)
    for animal, rows in expected.items():
        track = fixes.animals[animal]
        assert np.array_equal(np.column_stack([track.x, track.y, track.t]), np.array(rows))
    assert "UTM zone 33N" in fixes.crs


def test_a_large_layer_read_in_runs_keeps_each_animals_fixes_in_layer_order(tmp_path):
    # 450,000 fixes (read by several threads in consecutive runs) whose animals interleave, so
    # that every animal's fixes lie in every run; the expected tracks come from the rows written.
    n = 450_000
    i = np.arange(n)
    animal = np.array([f"B{k}" for k in range(7)])[(i * 5 + i // 1000) % 7]
    x, y, t = 500000.0 + i * 0.25, 4000000.0 - (i % 977), 1.6e9 + i
    table = np.rec.fromarrays([x, y, animal, t], names="X,Y,AnimalID,Time2")
    csv = tmp_path / "fixes.csv"
    np.savetxt(csv, table, fmt='"POINT (%.2f %.1f)",%s,%.0f', header="WKT,AnimalID,Time2", comments="")
    (tmp_path / "fixes.csvt").write_text("WKT,String,Integer64\n")
    gdal.VectorTranslate(str(tmp_path / "fixes.shp"), str(csv), format="ESRI Shapefile",
                         options=["-a_srs", "EPSG:32633", "-select", "AnimalID,Time2"])
    for where, kept in [(None, animal != ""), ("AnimalID <> 'B3'", animal != "B3")]:
        read = orvex.read_fixes(str(tmp_path / "fixes.shp"), where=where)
        assert list(read.animals) == sorted(set(animal[kept]))
        for name, track in read.animals.items():
            rows = kept & (animal == name)
            for axis, values in [("x", x), ("y", y), ("t", t)]:
                assert np.array_equal(getattr(track, axis), values[rows]), (where, name, axis)


def test_a_geopackage_layer_and_a_where_clause_read_the_same_fixes(simulated, fixes, tmp_path):
    gdal.VectorTranslate(str(tmp_path / "study.gpkg"), str(simulated / "fixes.shp"), format="GPKG", layerName="fixes")
    packaged = orvex.read_fixes(f"{tmp_path / 'study.gpkg'}|layername=fixes")
    chosen = orvex.read_fixes(str(simulated / "fixes.shp"), where="AnimalID = 'A2'")
    assert list(chosen.animals) == ["A2"]
    for read, animals in [(packaged, list(fixes.animals)), (chosen, ["A2"])]:
        for animal in animals:
            for axis in "xyt":
                assert np.array_equal(getattr(read.animals[animal], axis), getattr(fixes.animals[animal], axis))


@pytest.mark.parametrize("name,flags,keywords", KDE_CASES, ids=[c[0] for c in KDE_CASES])
def test_kde_equals_the_command_line(simulated, fixes, tmp_path, name, flags, keywords):
    out = tmp_path / "kde"
    out.mkdir()
    report = json.loads(run_orvex("--json", "--yes", "kde", simulated / "fixes.shp", "--id", "AnimalID",
                                  "--isopleths", "95,50", "--out-dir", out, *flags))
    values = {o["animal"]: o for o in report["outputs"] if o.get("kind") == "raster"}
    extent = None
    if name == "href-full-adaptive":
        # The command line's full extent, given as the grid's outer edges.
        transform, cells = _raster(out / "kde0.tif")
        rows, columns = cells.shape
        extent = (transform[0], transform[3] - rows * transform[1], transform[0] + columns * transform[1], transform[3])
    for position, (animal, track) in enumerate(fixes.animals.items()):
        if extent:
            ud = orvex.kde(track.x, track.y, extent=extent, crs=fixes.crs, **keywords)
        else:
            ud = orvex.kde(track.x, track.y, crs=fixes.crs, **keywords)
        cli_transform, cli_cells = _raster(out / f"kde{position}.tif")
        assert ud.geotransform == pytest.approx(cli_transform, rel=0, abs=0)
        # Values in float64 against the Float32 raster: within its rounding (2^-24 relative).
        assert np.allclose(ud.values * ud.scaling, cli_cells, rtol=2.0**-24, atol=0)
        ud.to_geotiff(tmp_path / "own.tif")
        assert np.array_equal(_raster(tmp_path / "own.tif")[1], cli_cells)
        assert ud.h == values[animal]["h"] or keywords.get("rescale")
        cli_isopleths = sorted(_layer_rows(out / f"kde{position}_iso_poly.shp", ["PERCENT"]))
        own = sorted((i.percent, ogr.CreateGeometryFromWkb(i.wkb).GetArea()) for i in ud.isopleths([95, 50]))
        assert own == pytest.approx(cli_isopleths, rel=1e-9)


def test_bandwidth_equals_the_kde_tool(simulated, fixes, tmp_path):
    report = json.loads(run_orvex("--json", "--yes", "kde", simulated / "fixes.shp", "--id", "AnimalID",
                                  "--extent", "min", "--out-dir", tmp_path))
    values = {o["animal"]: o for o in report["outputs"] if o.get("kind") == "raster"}
    for animal, track in fixes.animals.items():
        chosen = orvex.bandwidth(track.x, track.y)
        assert orvex.bandwidth(track.x, track.y, exact=True).h == chosen.h
        assert (chosen.h, chosen.href, chosen.minimised) == (values[animal]["h"], values[animal]["href"],
                                                             values[animal]["minimised"])
        assert len(chosen.hs) == len(chosen.scores) > 100
        # The chosen h is the profile's lowest score when the scan found a minimum.
        assert not chosen.minimised or chosen.hs[np.argmin(chosen.scores)] == chosen.h
        ud = orvex.kde(track.x, track.y, h=chosen, crs=fixes.crs)
        assert np.array_equal(ud.values, orvex.kde(track.x, track.y, h="lscv").values)
        assert ud.href == chosen.href


def test_mcp_equals_the_command_line(simulated, fixes, tmp_path):
    for style, flag in [("fixed_mean", "Fixed Mean"), ("floating_median", "Floating Median"),
                        ("area_added", "Area Added")]:
        out = tmp_path / style
        out.mkdir()
        run_orvex("mcp", simulated / "fixes.shp", "--by", "AnimalID", "--percent", "95,60", "--style", flag,
                  "--out", out / "{layer}_mcp{percent}.shp")
        for animal, track in fixes.animals.items():
            for percent in (95, 60):
                result = orvex.mcp(track.x, track.y, percent=percent, style=style)
                [(n_used, area_field, area)] = _layer_rows(out / f"{animal}_mcp{percent}.shp", ["NUsed", "Area"])
                assert result.n_used == n_used
                assert ogr.CreateGeometryFromWkb(result.wkb).GetArea() == pytest.approx(area, rel=1e-9)
                assert result.area == pytest.approx(area_field, abs=0.01)  # the field's two decimals


def test_zero_copy_pairs_give_the_same_numbers(fixes):
    track = next(iter(fixes.animals.values()))
    pairs = np.column_stack([track.x, track.y])
    assert orvex.bandwidth(pairs, method="href").h == orvex.bandwidth(track.x, track.y, method="href").h
    assert orvex.mcp(pairs).wkb == orvex.mcp(track.x, track.y).wkb


def test_explicit_extent_edges():
    # columns = round((xmax - xmin) / cell): 1050 / 100 rounds half to even (10), 960 / 100 to 10.
    rng = np.random.default_rng(1)
    x, y = rng.normal(500, 150, 200), rng.normal(500, 150, 200)
    ud = orvex.kde(x, y, h=200.0, cell_size=100, extent=(0, 20, 1050, 980))
    assert ud.values.shape == (10, 10)
    assert ud.geotransform == (0.0, 100.0, 0.0, 1020.0, 0.0, -100.0)


ERROR_CASES = [
    (lambda f: orvex.read_fixes(f, id_field="Nope"), "Field 'Nope' not found in the layer"),
    (lambda f: orvex.read_fixes(str(f) + ".missing"), "missing"),
    (lambda f: orvex.bandwidth([0.0, 1, 2], [0.0, 1, 3], method="nope"), "Unknown bandwidth method 'nope'"),
    (lambda f: orvex.kde([0.0, 1000, 2000], [0.0, 1500, 500], h=5.0, cell_size=100), "is smaller than the cell size (100)"),
    (lambda f: orvex.mcp([0.0, 1, 2, 3], [0.0, 2, 1, 3], percent=20), "is too low"),
    (lambda f: orvex.mcp([0.0, 1, 2], [0.0, 1, 0], style="nope"), "Unknown MCP style 'nope'"),
]


@pytest.mark.parametrize("call,message", ERROR_CASES)
def test_errors_carry_the_command_line_messages(simulated, call, message):
    with pytest.raises(orvex.OrvexError, match=None) as raised:
        call(simulated / "fixes.shp")
    assert message in str(raised.value)


def test_locoh_equals_the_command_line(simulated, fixes, tmp_path):
    report = json.loads(run_orvex("--json", "locoh", simulated / "fixes.shp", "--id", "AnimalID", "--method", "k",
                                  "--param", 12, "--isopleths", "50,95", "--out-dir", tmp_path))
    areas = {o["animal"]: o["areas"] for o in report["outputs"]}
    for animal, track in fixes.animals.items():
        isopleths = orvex.locoh(track.x, track.y, method="k", parameter=12, percents=[50, 95])
        assert [i.area for i in isopleths] == areas[animal]  # exact: the same union
        shapes = _layer_rows(tmp_path / f"{animal}_locoh.shp", ["Percent"])
        assert [ogr.CreateGeometryFromWkb(i.wkb).GetArea() for i in isopleths] == pytest.approx(
            [area for _, area in shapes], rel=1e-9)


def test_overlap_equals_the_command_line_on_the_rasters(fixes, tmp_path):
    xs = np.concatenate([t.x for t in fixes.animals.values()])
    ys = np.concatenate([t.y for t in fixes.animals.values()])
    extent = (xs.min() - 2000, ys.min() - 2000, xs.max() + 2000, ys.max() + 2000)  # one grid for all
    uds = [orvex.kde(t.x, t.y, h="href", extent=extent, crs=fixes.crs) for t in fixes.animals.values()]
    for animal, ud in zip(fixes.animals, uds):
        ud.to_geotiff(tmp_path / f"{animal}.tif")
    run_orvex("overlap", *[tmp_path / f"{a}.tif" for a in fixes.animals], "--percent", 95, "--out-dir", tmp_path / "o")
    indices = orvex.overlap(uds, percent=95)
    for name, matrix in indices.items():
        with open(tmp_path / "o" / f"{name}.csv") as table:
            rows = [line.strip().split(",")[1:] for line in table][1:]
        # The command line reads the Float32 rasters: agreement within that rounding.
        assert matrix == pytest.approx(np.array(rows, dtype=float), rel=1e-5, abs=1e-9), name


def test_bbmm_equals_the_command_line(simulated, fixes, tmp_path):
    report = json.loads(run_orvex("--json", "bbmm", simulated / "fixes.shp", "--id", "AnimalID", "--sigma2", 15,
                                  "--extent", "min", "--cell-size", 50, "--out-dir", tmp_path))
    rasters = {o["animal"]: o for o in report["outputs"] if o.get("kind") == "raster"}
    for animal, track in fixes.animals.items():
        ud = orvex.bbmm(track.x, track.y, track.t, sigma2=15, cell_size=50, crs=fixes.crs)
        assert ud.sigma1 == rasters[animal]["sigma1"]  # the same search, the same number
        transform, cells = _raster(rasters[animal]["path"])
        assert ud.geotransform == pytest.approx(transform, rel=1e-15)
        # The command line writes Float32 cells: equal within that rounding (2^-24 relative).
        assert ud.values == pytest.approx(cells, rel=2**-23, abs=0)
        ud.to_geotiff(tmp_path / f"{animal}_py.tif")
        assert np.array_equal(_raster(tmp_path / f"{animal}_py.tif")[1], cells)


def test_bridges_and_kernels_on_one_extent_overlap():
    rng = np.random.default_rng(3)
    t = np.arange(200) * 3600.0
    tracks = [np.cumsum(rng.normal(0, 100, (2, 200)), axis=1) + shift for shift in (0.0, 300.0)]
    extent = (-3000, -3000, 3500, 3500)
    bridge = orvex.bbmm(tracks[0][0], tracks[0][1], t, sigma2=10, sigma1=2.0, cell_size=50, extent=extent)
    kernel = orvex.kde(tracks[1][0], tracks[1][1], h="href", cell_size=50, extent=extent)
    assert bridge.values.shape == kernel.values.shape == (130, 130)
    assert bridge.values.sum() * 50**2 == pytest.approx(1.0, abs=1e-3)  # the UD's volume on a wide grid
    indices = orvex.overlap([bridge, kernel], percent=95)
    assert 0 < indices["BA"][0, 1] == indices["BA"][1, 0] < 1  # symmetric, partial sharing
    with pytest.raises(ValueError, match="fix 1: time is earlier"):
        orvex.bbmm(tracks[0][0], tracks[0][1], t[::-1].copy(), sigma2=10)  # times out of order


def test_geodataframes_carry_the_same_numbers(fixes):
    geopandas = pytest.importorskip("geopandas")
    frame = fixes.to_geodataframe()
    assert isinstance(frame, geopandas.GeoDataFrame)
    assert len(frame) == sum(len(t) for t in fixes.animals.values())
    assert frame.crs is not None and frame.crs.to_epsg() == 32633
    track = next(iter(fixes.animals.values()))
    assert frame.geometry.x.iloc[0] == track.x[0] and frame.geometry.y.iloc[0] == track.y[0]
    ud = orvex.kde(track.x, track.y, h="href", crs=fixes.crs)
    isopleths = ud.isopleths([95, 50])
    shapes = ud.to_geodataframe([95, 50])
    assert list(shapes["percent"]) == [95, 50]
    # The polygons' areas through shapely equal the tool's within 1e-9 relative (GEOS vs OGR).
    assert list(shapes.geometry.area) == pytest.approx([i.area for i in isopleths], rel=1e-9)
    polygon = orvex.mcp(track.x, track.y, percent=95).to_geodataframe(fixes.crs)
    assert polygon.geometry.area.iloc[0] == pytest.approx(polygon["area"].iloc[0], rel=1e-9)
