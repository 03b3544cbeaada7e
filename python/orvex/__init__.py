"""Home-range estimators of Orvex on numpy arrays.

The same engine as the ``orvex`` command: ``read_fixes`` splits a point layer by animal as the
KDE tool does, ``bandwidth`` and ``kde`` are the KDE tool's bandwidths, grids and isopleths,
``mcp`` the MCP styles. Numbers equal the command line's for the same settings. Errors raise
``OrvexError`` with the command line's messages. ``python3 -m orvex.study`` runs a whole study
on Dask (see ``orvex.study``).
"""

from __future__ import annotations

import dataclasses
from typing import Optional, Sequence, Union

import numpy as np

from . import _orvex
from ._orvex import OrvexError

__all__ = [
    "OrvexError",
    "Track",
    "Fixes",
    "Bandwidth",
    "Isopleth",
    "UD",
    "MCP",
    "read_fixes",
    "bandwidth",
    "kde",
    "mcp",
    "BridgeUD",
    "bbmm",
    "LocohIsopleth",
    "locoh",
    "overlap",
]

DEFAULT_SCALING = 1_000_000.0


def _geopandas():
    try:
        import geopandas
    except ImportError as error:  # not a hard dependency
        raise ImportError("to_geodataframe() needs GeoPandas (Debian: python3-geopandas)") from error
    return geopandas


def _frame(rows, wkbs, crs):
    geopandas = _geopandas()
    geometry = geopandas.GeoSeries.from_wkb(wkbs, crs=crs or None)
    return geopandas.GeoDataFrame(rows, geometry=geometry, crs=crs or None)


@dataclasses.dataclass(frozen=True)
class Track:
    """One animal's fixes in the layer's order: coordinates in map units, times in seconds
    (NaN where the time field is empty or absent)."""

    id: str
    x: np.ndarray
    y: np.ndarray
    t: np.ndarray

    def __len__(self) -> int:
        return len(self.x)


@dataclasses.dataclass(frozen=True)
class Fixes:
    """A point layer split by animal: ``animals`` maps each identifier, as the command line
    prints it, to its ``Track``, in the order the KDE tool numbers them."""

    animals: dict
    crs: str

    def to_geodataframe(self):
        """One row per fix: animal, t, point geometry."""
        geopandas = _geopandas()
        ids, xs, ys, ts = [], [], [], []
        for track in self.animals.values():
            ids += [track.id] * len(track)
            xs.append(track.x)
            ys.append(track.y)
            ts.append(track.t)
        cat = lambda parts: np.concatenate(parts) if parts else np.empty(0)  # noqa: E731
        points = geopandas.points_from_xy(cat(xs), cat(ys), crs=self.crs or None)
        return geopandas.GeoDataFrame({"animal": ids, "t": cat(ts)}, geometry=points, crs=self.crs or None)


def read_fixes(path: str, id_field: str = "AnimalID", time_field: str = "Time2", where: Optional[str] = None) -> Fixes:
    """Reads a point layer ("fixes.shp", or "study.gpkg|layername=fixes") split by ``id_field``.
    ``where`` limits the fixes (the command line's ``--where``)."""
    raw = _orvex.read_fixes(str(path), id_field, time_field or "", where or "")
    animals = {id_: Track(id_, x, y, t) for id_, x, y, t in raw["animals"]}
    return Fixes(animals, raw["crs"])


@dataclasses.dataclass(frozen=True)
class Bandwidth:
    """A bandwidth of the KDE tool: ``h`` in map units, ``href`` and the profile ``hs`` /
    ``scores`` in working units (map units, or unit variance with ``rescale``); ``minimised``
    is false when the scan found no minimum inside its range and h fell back to href."""

    h: float
    href: float
    minimised: bool
    hs: np.ndarray
    scores: np.ndarray
    method: str
    rescale: bool
    warnings: str


def bandwidth(
    x, y=None, method: str = "lscv", rescale: bool = False, threads: int = 0, exact: bool = False
) -> Bandwidth:
    """The KDE tool's bandwidth of one animal: "href", "lscv" (its default) or "bcv".
    ``x`` alone may be an n x 2 array. ``threads`` 0: one per processor (results do not depend
    on it). ``exact`` keeps the scan on pair-by-pair sums (slow for large sets; the default
    sums agree within 1e-10 and choose the same bandwidth)."""
    raw = _orvex.bandwidth(x, y, method, rescale, threads, exact)
    return Bandwidth(method=method, rescale=rescale, **raw)


@dataclasses.dataclass(frozen=True)
class Isopleth:
    """A percent-volume isopleth: ``area`` in square map units, ``wkb`` a polygon or
    multipolygon (ISO WKB, empty when the level has no contour)."""

    percent: float
    area: float
    wkb: bytes


class UD:
    """A utilisation distribution on the KDE tool's grid. ``values`` are densities (per square
    map unit; row 0 at the north); ``geotransform`` is GDAL's."""

    def __init__(self, grid, crs: str, href: Optional[float] = None):
        self._grid = grid
        self.crs = crs or ""
        self.geotransform = tuple(grid.geotransform)
        self.h = grid.h
        self.href = grid.href if href is None else href
        self.scaling = grid.scaling
        self.warnings = grid.warnings
        self._values = None

    @property
    def values(self) -> np.ndarray:
        if self._values is None:
            self._values = self._grid.values
        return self._values

    @property
    def cell_size(self) -> float:
        return self.geotransform[1]

    def isopleths(self, percents: Sequence[float] = (95, 50)) -> list:
        """The isopleths `orvex kde --isopleths` draws, in the order asked."""
        return [Isopleth(p, a, w) for p, a, w in self._grid.isopleths([float(p) for p in percents], self.crs)]

    def to_geotiff(self, path: str) -> None:
        """Writes the raster `orvex kde` writes: Float32, densities times ``scaling``, the
        scaling in its metadata."""
        self._grid.to_geotiff(str(path), self.crs)

    def to_geodataframe(self, percents: Sequence[float] = (95, 50)):
        isopleths = self.isopleths(percents)
        rows = {"percent": [i.percent for i in isopleths], "area": [i.area for i in isopleths]}
        return _frame(rows, [i.wkb for i in isopleths], self.crs)


def kde(
    x,
    y=None,
    h: Union[str, float, Bandwidth] = "lscv",
    cell_size: float = 100.0,
    extent: Union[str, Sequence[float]] = "min",
    buffer: Optional[float] = None,
    kernel: str = "fixed",
    rescale: bool = False,
    scaling: float = DEFAULT_SCALING,
    crs: Optional[str] = None,
    threads: int = 0,
) -> UD:
    """The KDE tool's UD of one animal.

    ``h``: "href", "lscv" or "bcv" (chosen as the tool chooses), a number (map units), or a
    ``Bandwidth`` (its h; with ``rescale`` its search is run again, as the tool runs it).
    ``cell_size`` is rounded to a whole number as the tool rounds it. ``extent``: "min" (the
    fixes' box widened by four bandwidths, or by ``buffer`` when given) or (xmin, ymin, xmax,
    ymax), the grid's outer edges. ``kernel``: "fixed" or "adaptive".
    """
    href = None
    if isinstance(h, Bandwidth):
        href = h.href
        rescale = h.rescale
        h = h.method if h.rescale else h.h
    if kernel not in ("fixed", "adaptive"):
        raise ValueError(f"kernel must be 'fixed' or 'adaptive', not {kernel!r}")
    if isinstance(extent, str):
        if extent != "min":
            raise ValueError(f"extent must be 'min' or (xmin, ymin, xmax, ymax), not {extent!r}")
        box = None
    else:
        box = tuple(float(v) for v in extent)
        if len(box) != 4:
            raise ValueError("extent must be (xmin, ymin, xmax, ymax)")
        if buffer is not None:
            raise ValueError("buffer applies to extent='min' only")
    if not isinstance(h, str):
        h = float(h)
    grid = _orvex.kde(x, y, h, float(cell_size), box, buffer, kernel == "adaptive", rescale, scaling, threads)
    return UD(grid, crs or "", href)


@dataclasses.dataclass(frozen=True)
class MCP:
    """A minimum convex polygon: ``area`` in square map units, ``wkb`` the polygon,
    ``n_points`` the fixes given and ``n_used`` the fixes kept (as `orvex mcp` writes them)."""

    percent: float
    style: str
    area: float
    wkb: bytes
    n_points: int
    n_used: int

    def to_geodataframe(self, crs: Optional[str] = None):
        rows = {"percent": [self.percent], "area": [self.area], "n_used": [self.n_used]}
        return _frame(rows, [self.wkb], crs)


def mcp(x, y=None, percent: float = 95, style: str = "fixed_mean", centre: Optional[Sequence[float]] = None) -> MCP:
    """The MCP of ``percent`` % of the fixes, equal to `orvex mcp`. ``style``: fixed_mean,
    fixed_median, user_centre (with ``centre``), floating_mean, floating_median, area_added."""
    area, wkb, n_points, n_used = _orvex.mcp(x, y, float(percent), style, None if centre is None else tuple(centre))
    return MCP(float(percent), style, area, wkb, n_points, n_used)


class BridgeUD:
    """A Brownian bridge UD: ``values`` are densities per square map unit at the cell centres
    (row 0 at the north; no scaling), ``geotransform`` is GDAL's, ``sigma1`` the s1 used and,
    when it was estimated, ``log_likelihood`` and ``triplets``; ``intervals`` counts the intervals
    used, of zero length and over the largest gap."""

    def __init__(self, result: dict, crs: str):
        self.values = result["values"]
        self.geotransform = tuple(result["geotransform"])
        self.sigma1 = result["sigma1"]
        self.log_likelihood = result.get("log_likelihood")
        self.triplets = result.get("triplets")
        used, zero_length, over_gap = result["intervals"]
        self.intervals = {"used": used, "zero_length": zero_length, "over_gap": over_gap}
        self.crs = crs or ""

    @property
    def cell_size(self) -> float:
        return self.geotransform[1]

    def to_geotiff(self, path: str) -> None:
        """Writes the raster `orvex bbmm` writes: Float32 densities, as they are."""
        _orvex.write_geotiff(str(path), self.values, self.geotransform, self.crs)


def bbmm(x, y, t, sigma2: Union[float, Sequence[float]], sigma1: Union[str, float] = "auto",
         cell_size: float = 100.0, extent: Union[str, Sequence[float]] = "min", max_gap: Optional[float] = None,
         all_triplets: bool = False, crs: Optional[str] = None, threads: int = 0) -> BridgeUD:
    """The Brownian bridge UD of one animal, equal to an animal's raster of `orvex bbmm`.

    ``x``, ``y`` in map units and ``t`` in seconds, sorted by time; ``sigma2`` the location
    error, one value or one per fix. ``sigma1``: "auto" (maximum likelihood, on the independent
    triplets or with ``all_triplets`` every interior fix) or a value. ``extent``: "min" (the
    fixes' box widened by four of the widest bridge's standard deviations, as `--extent min`)
    or (xmin, ymin, xmax, ymax), the grid's outer edges (columns = round((xmax - xmin) /
    cell_size)): one extent for several animals puts their UDs on one grid for ``overlap``.
    ``max_gap`` (seconds): longer intervals carry no bridge."""
    if isinstance(sigma1, str):
        if sigma1 != "auto":
            raise ValueError(f"sigma1 must be 'auto' or a number, not {sigma1!r}")
        sigma1 = None
    else:
        sigma1 = float(sigma1)
    if isinstance(extent, str):
        if extent != "min":
            raise ValueError(f"extent must be 'min' or (xmin, ymin, xmax, ymax), not {extent!r}")
        box = None
    else:
        box = tuple(float(v) for v in extent)
        if len(box) != 4:
            raise ValueError("extent must be (xmin, ymin, xmax, ymax)")
    errors = np.atleast_1d(np.asarray(sigma2, dtype=np.float64))
    result = _orvex.bbmm(x, y, t, errors, sigma1, all_triplets, max_gap, float(cell_size), box, threads)
    return BridgeUD(result, crs or "")


@dataclasses.dataclass(frozen=True)
class LocohIsopleth:
    """A LoCoH isopleth: the union of the ordered hulls up to ``percent`` % of the fixes;
    ``n_fixes`` the distinct fixes its hulls hold, ``area`` in square map units."""

    percent: float
    area: float
    n_fixes: int
    wkb: bytes


def locoh(x, y, method: str = "k", parameter: float = 12, percents: Sequence[float] = range(10, 101, 10),
          threads: int = 0) -> list:
    """The isopleths `orvex locoh --method METHOD --param PARAMETER` draws: method "k", "r" or
    "a", one isopleth per percentage in the order given."""
    rows = _orvex.locoh(x, y, method, float(parameter), [float(p) for p in percents], threads)
    return [LocohIsopleth(*row) for row in rows]


def overlap(uds: Sequence[Union[UD, BridgeUD]], percent: float = 95, conditional: bool = False, threads: int = 0) -> dict:
    """The overlap indices of `orvex overlap` between UDs on one grid (make them with one
    explicit ``extent``): a dict from "HR", "PHR", "VI", "BA", "UDOI" and "HD" to n x n
    matrices, row i against column j. Computed on the UDs' float64 densities; `orvex overlap`
    reads the Float32 rasters, so the two agree within that rounding."""
    if not uds:
        raise ValueError("overlap needs at least one UD")
    first = uds[0]
    if any(ud.geotransform != first.geotransform or ud.values.shape != first.values.shape for ud in uds):
        raise ValueError("the UDs are on different grids: make them with one explicit extent and cell size")
    rows, columns = first.values.shape
    x0, cell, _, top, _, _ = first.geotransform
    grid = (x0, top - rows * cell, cell)
    return _orvex.overlap([ud.values for ud in uds], grid, columns, rows, float(percent), conditional, threads)
