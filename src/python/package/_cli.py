"""The `korvane` command line: batch jobs on circuit files."""

import argparse
import importlib.metadata
import sys
from collections.abc import Sequence


def parser() -> argparse.ArgumentParser:
    """The command line's parser, one subcommand per job."""
    top = argparse.ArgumentParser(
        prog="korvane",
        description="Graph-state based quantum circuit simulator: batch jobs on circuit files.",
    )
    top.add_argument("--version", action="version",
                     version=f"korvane {importlib.metadata.version('korvane')}")
    top.add_subparsers(dest="command", metavar="COMMAND")
    return top


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line on `argv` (sys.argv[1:] by default); returns the exit status."""
    arguments = parser().parse_args(argv)
    if arguments.command is None:
        parser().print_help(sys.stderr)
        return 2
    return 0
