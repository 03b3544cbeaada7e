"""A GeoPackage written with SQLite's own transactions: a study's results file.

Each write is one transaction, so a process killed at any moment leaves every layer as it was
before the write or as it is after it, never half written. One process writes (the study's
driver); readers may open the file at any time.
"""

from __future__ import annotations

import sqlite3
import struct
from typing import Iterable, Optional, Sequence

# "GPKG" as the file's application id, and the version of the encoding (1.2).
_APPLICATION_ID = 0x47504B47
_USER_VERSION = 10200
# The id of a coordinate system that has no EPSG code: the first of the user range.
_CUSTOM_SRS_ID = 100000

_CORE = """
CREATE TABLE IF NOT EXISTS gpkg_spatial_ref_sys (
  srs_name TEXT NOT NULL, srs_id INTEGER PRIMARY KEY, organization TEXT NOT NULL,
  organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL, description TEXT);
CREATE TABLE IF NOT EXISTS gpkg_contents (
  table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL, identifier TEXT UNIQUE,
  description TEXT DEFAULT '', last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),
  min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE, srs_id INTEGER,
  CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));
CREATE TABLE IF NOT EXISTS gpkg_geometry_columns (
  table_name TEXT NOT NULL, column_name TEXT NOT NULL, geometry_type_name TEXT NOT NULL,
  srs_id INTEGER NOT NULL, z TINYINT NOT NULL, m TINYINT NOT NULL,
  CONSTRAINT pk_geom_cols PRIMARY KEY (table_name, column_name),
  CONSTRAINT fk_gc_tn FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name),
  CONSTRAINT fk_gc_srs FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));
"""

_DEFAULT_SRS = [
    ("Undefined cartesian SRS", -1, "NONE", -1, "undefined", "undefined cartesian coordinate reference system"),
    ("Undefined geographic SRS", 0, "NONE", 0, "undefined", "undefined geographic coordinate reference system"),
]


def geometry_blob(wkb: bytes, srs_id: int) -> Optional[bytes]:
    """The GeoPackage encoding of a WKB geometry: header "GP", version 0, flags (little-endian,
    no envelope), the srs id, then the WKB. None for an empty WKB."""
    if not wkb:
        return None
    return b"GP" + struct.pack("<BBi", 0, 0x01, srs_id) + bytes(wkb)


def wkb_of(blob: Optional[bytes]) -> bytes:
    """The WKB inside a GeoPackage geometry blob (any envelope skipped)."""
    if not blob:
        return b""
    flags = blob[3]
    envelope = {0: 0, 1: 32, 2: 48, 3: 48, 4: 64}[(flags >> 1) & 0x07]
    return bytes(blob[8 + envelope :])


class GeoPackage:
    """One results file. Layers and tables are made on first use; `transaction()` groups writes."""

    def __init__(self, path: str):
        self.path = path
        self.db = sqlite3.connect(path, isolation_level=None, timeout=60)
        self.db.execute("PRAGMA foreign_keys = ON")
        with self.transaction():
            self.db.execute(f"PRAGMA application_id = {_APPLICATION_ID}")
            self.db.execute(f"PRAGMA user_version = {_USER_VERSION}")
            for statement in _CORE.split(";"):
                if statement.strip():
                    self.db.execute(statement)
            self.db.executemany("INSERT OR IGNORE INTO gpkg_spatial_ref_sys VALUES (?,?,?,?,?,?)", _DEFAULT_SRS)

    def close(self) -> None:
        self.db.close()

    def transaction(self):
        return _Transaction(self.db)

    def srs_id(self, wkt: str, epsg: Optional[int]) -> int:
        """The id under which `wkt` is recorded (its EPSG code when it has one)."""
        if not wkt:
            return -1
        srs_id = epsg if epsg else _CUSTOM_SRS_ID
        organization = "EPSG" if epsg else "NONE"
        self.db.execute(
            "INSERT OR IGNORE INTO gpkg_spatial_ref_sys VALUES (?,?,?,?,?,?)",
            (wkt.split('"')[1] if '"' in wkt else "unnamed", srs_id, organization, srs_id, wkt, None),
        )
        return srs_id

    def has_table(self, name: str) -> bool:
        row = self.db.execute("SELECT 1 FROM gpkg_contents WHERE table_name = ?", (name,)).fetchone()
        return row is not None

    def create_features(self, name: str, columns: Sequence[str], srs_id: int, geometry_type: str = "GEOMETRY"):
        """A feature table `name` (fid, geom, then `columns` as "name TYPE"), unless it exists."""
        if self.has_table(name):
            return
        fields = "".join(f", {c}" for c in columns)
        self.db.execute(f'CREATE TABLE "{name}" (fid INTEGER PRIMARY KEY AUTOINCREMENT, geom {geometry_type}{fields})')
        self.db.execute(
            "INSERT INTO gpkg_contents (table_name, data_type, identifier, srs_id) VALUES (?, 'features', ?, ?)",
            (name, name, srs_id),
        )
        self.db.execute("INSERT INTO gpkg_geometry_columns VALUES (?, 'geom', ?, ?, 0, 0)", (name, geometry_type, srs_id))

    def create_attributes(self, name: str, columns: Sequence[str], constraints: str = ""):
        """An attribute table `name` (fid, then `columns`), unless it exists."""
        if self.has_table(name):
            return
        fields = "".join(f", {c}" for c in columns)
        extra = f", {constraints}" if constraints else ""
        self.db.execute(f'CREATE TABLE "{name}" (fid INTEGER PRIMARY KEY AUTOINCREMENT{fields}{extra})')
        self.db.execute(
            "INSERT INTO gpkg_contents (table_name, data_type, identifier) VALUES (?, 'attributes', ?)", (name, name)
        )

    def touch(self, names: Iterable[str]) -> None:
        """Marks tables as changed now (gpkg_contents.last_change)."""
        self.db.executemany(
            "UPDATE gpkg_contents SET last_change = strftime('%Y-%m-%dT%H:%M:%fZ','now') WHERE table_name = ?",
            [(n,) for n in names],
        )


class _Transaction:
    def __init__(self, db: sqlite3.Connection):
        self.db = db

    def __enter__(self):
        self.db.execute("BEGIN IMMEDIATE")
        return self.db

    def __exit__(self, kind, value, traceback):
        self.db.execute("COMMIT" if kind is None else "ROLLBACK")
        return False
