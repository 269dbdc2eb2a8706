#!/usr/bin/env bash
# Type stubs and packaging, checked against the module installed in the virtual environment:
#   - the installed distribution's metadata, and the files it carries (the package korvane: the
#     extension as its __init__, its stubs, py.typed, the command line, the console script);
#   - the module's attributes: exactly those that initialisation adds;
#   - mypy's stubtest, comparing korvane/__init__.pyi with the module as it is at run time;
#   - mypy on the examples.
# Usage (from the repo root): tools/ci/typing.sh <python of a venv with korvane and its test extra>
set -euo pipefail

python=${1:?usage: tools/ci/typing.sh <venv python>}
# A path relative to where the script was started from still names it after the cd below.
case $python in /*) ;; */*) python="$PWD/$python" ;; esac
repo=$(pwd)
log() { echo "typing: $*" >&2; }

"$python" -c 'import mypy, korvane' 2>/dev/null || {
  log "$python needs korvane and mypy: pip install '.[test]' into its environment"
  exit 1
}

# Run away from the source tree, so that only the installed module and stubs are seen.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

log "installed distribution and module attributes"
"$python" - "$repo" <<'PYTHON'
import importlib.metadata
import pathlib
import sys
import tomllib

import korvane

repo = pathlib.Path(sys.argv[1])
project = tomllib.loads((repo / "pyproject.toml").read_text())["project"]
distribution = importlib.metadata.distribution("korvane")
metadata = distribution.metadata
problems = []


def expect(what, found, wanted):
    if found != wanted:
        problems.append(f"{what}: found {found!r}, expected {wanted!r}")


expect("name", metadata["Name"], "korvane")
expect("version", importlib.metadata.version("korvane"), project["version"])
expect("summary", metadata["Summary"], project["description"])
expect("requires-python", metadata["Requires-Python"], ">=3.14")
expect("license", metadata["License-Expression"], "MIT")
expect("classifiers", metadata.get_all("Classifier"), project["classifiers"])
expect("description type", metadata["Description-Content-Type"], "text/markdown")
expect("extras", sorted(metadata.get_all("Provides-Extra") or []),
       sorted(project["optional-dependencies"]))
expect("description", metadata.get_payload().strip(), (repo / "README.md").read_text().strip())

files = {str(path): path for path in distribution.files or []}
# The package korvane: the extension as its __init__, the stubs, py.typed and the Python sources.
module_file = "korvane/" + pathlib.Path(korvane.__file__).name
expect("extension", pathlib.Path(korvane.__file__).name.split(".")[0], "__init__")
# The folder's Python files and py.typed are installed; its README is not.
sources = sorted(path.name for path in (repo / "src/python/package").iterdir()
                 if path.suffix == ".py" or path.name == "py.typed")
for wanted in (module_file, "korvane/__init__.pyi", *(f"korvane/{name}" for name in sources)):
    if wanted not in files:
        problems.append(f"{wanted} is not installed by the distribution")
stub = "korvane/__init__.pyi"
if stub in files and files[stub].locate().read_bytes() != (repo / "src/python/korvane.pyi").read_bytes():
    problems.append(f"the installed {stub} differs from src/python/korvane.pyi")
if importlib.metadata.entry_points(group="console_scripts", name="korvane") == ():
    problems.append("the korvane console script is not installed")
if not any(name.endswith("licenses/LICENSE") for name in files):
    problems.append("the LICENSE file is not in the distribution")

classes = ["MeasurementResult", "Outcome", "Axis", "Korvane"]
module_names = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__",
                "__path__"}
# The circuit classes and the shot functions stand beside the four classes of __all__.
beside = {"Circuit", "DetectorErrorModel", "write_shots", "read_shots"}
expect("module attributes", sorted(name for name in vars(korvane) if not name.startswith("_")
                                   or name in module_names | {"__all__"}),
       sorted(module_names | {"__all__", *beside, *classes}))
# numpy serves the circuit layer only, and is declared.
if not any(requirement.startswith("numpy") for requirement in metadata.get_all("Requires-Dist") or []):
    problems.append("numpy is not among the distribution's requirements")
expect("__all__", korvane.__all__, classes)

if problems:
    sys.exit("\n".join(problems))
print(f"korvane {distribution.version}: metadata, files and module attributes as expected")
PYTHON

log "stubtest (the stubs as installed, found by mypy without any search path)"
"$python" -m mypy.stubtest korvane

log "mypy on the examples"
examples=()
for example in "$repo"/examples/*.py; do
  [ "$(basename "$example")" = demo.py ] || examples+=("$example")
done
# distributed ships its types (py.typed) but leaves Client, LocalCluster and as_completed
# unannotated: calls into it are let through, everything else stays strict.
"$python" -m mypy --cache-dir=/dev/null --strict --untyped-calls-exclude=distributed \
  "${examples[@]}"
# The demo predates the annotations and is checked at mypy's default strictness.
"$python" -m mypy --cache-dir=/dev/null "$repo/examples/demo.py"
