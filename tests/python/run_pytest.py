"""Runs one pytest suite of the Python module for CTest; exit status 77 (skipped) with the reason
when the module or a package the suite needs is missing."""

import sys

SKIPPED = 77


def main():
    suite, needs = sys.argv[1], sys.argv[2].split(",")
    for name in ["pytest", "numpy", *needs]:
        try:
            __import__(name)
        except ImportError as error:
            print(f"skipped: {name} cannot be imported ({error})")
            return SKIPPED
    import pytest

    return pytest.main(["-q", "-p", "no:cacheprovider", suite, *sys.argv[3:]])


if __name__ == "__main__":
    sys.exit(main())
