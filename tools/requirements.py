"""The project's Python requirements, read from pyproject.toml.

    python tools/requirements.py [EXTRA ...]   prints the build backend's requirements, the module's
                                               dependencies and those of the extras named ("all":
                                               every extra), one a line, for pip install -r
    python tools/requirements.py --lock FILE   resolves every requirement with every extra on the
                                               package index (newest versions, nothing installed)
                                               and writes the exact versions to FILE, for pip -c

tools/run.sh installs the printed requirements, constrained by tools/python-constraints.txt,
before it builds the module; `bash tools/run.sh lock` rewrites that file.
"""

import json
import re
import subprocess
import sys
import tomllib
from pathlib import Path

PYPROJECT = Path(__file__).resolve().parent.parent / "pyproject.toml"


def requirements(extras):
    data = tomllib.loads(PYPROJECT.read_text())
    project = data["project"]
    optional = project.get("optional-dependencies", {})
    chosen = list(optional) if "all" in extras else extras
    unknown = [extra for extra in chosen if extra not in optional]
    if unknown:
        sys.exit(f"unknown extras {unknown}; pyproject.toml declares {sorted(optional)}")
    found = [*data["build-system"]["requires"], *project.get("dependencies", [])]
    for extra in chosen:
        found += optional[extra]
    # An extra may name others as korvane[...]: their requirements are listed already.
    own = re.compile(rf"^{re.escape(project['name'])}\b")
    return list(dict.fromkeys(line for line in found if not own.match(line)))


def lock(path):
    listed = requirements(["all"])
    report = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--dry-run", "--ignore-installed", "--quiet",
         "--disable-pip-version-check", "--report", "-", *listed],
        check=True, capture_output=True, text=True).stdout
    pins = sorted((f"{item['metadata']['name']}=={item['metadata']['version']}"
                   for item in json.loads(report)["install"]), key=str.lower)
    header = ["# Exact versions of every Python package the project installs (all extras), for",
              "# pip install -c: written by `bash tools/run.sh lock`, which resolves the",
              "# requirements of pyproject.toml on the package index anew."]
    Path(path).write_text("\n".join(header + pins) + "\n")
    print(f"{len(pins)} packages pinned in {path}")


def main():
    arguments = sys.argv[1:]
    if arguments[:1] == ["--lock"] and len(arguments) == 2:
        lock(arguments[1])
    else:
        print("\n".join(requirements(arguments)))


if __name__ == "__main__":
    main()
