"""Renders SVG in headless Chromium: a PNG screenshot, and the boxes the browser laid out for each
text element, so that a test can tell that a picture draws and that its labels are on it."""

from __future__ import annotations

import json
import os
import shutil
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

MEASURE_TEXTS = """
<pre id="boxes"></pre>
<script>
  const svg = document.querySelector("svg");
  const frame = svg.getBoundingClientRect();
  const boxes = [...svg.querySelectorAll("text")].map((text) => {
    const box = text.getBoundingClientRect();
    return {text: text.textContent, width: box.width, height: box.height,
            inside: box.left >= frame.left - 0.5 && box.right <= frame.right + 0.5 &&
                    box.top >= frame.top - 0.5 && box.bottom <= frame.bottom + 0.5};
  });
  document.getElementById("boxes").textContent = JSON.stringify(boxes);
</script>
"""


def chromium() -> str:
    found = shutil.which("chromium") or shutil.which("chromium-browser")
    if found is None:
        if os.environ.get("CI"):
            pytest.fail("chromium is missing: tools/run.sh setup installs it")
        pytest.skip("chromium is not installed (tools/run.sh setup installs it)")
    return found


def run_chromium(*arguments: str) -> str:
    command = [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
               *arguments]
    # The browser is not the code under test: it runs without a sanitizer runtime the test run
    # may have preloaded, which it would inherit and hang under.
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    done = subprocess.run(command, capture_output=True, text=True, timeout=120, check=True,
                          env=environment)
    return done.stdout


def png_gray(path: Path) -> list[list[int]]:
    """The screenshot's rows of pixels as gray levels 0..255 (8-bit RGB or RGBA PNG)."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    position, width, height, channels, packed = 8, 0, 0, 3, b""
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        chunk = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", chunk[:10])
            assert depth == 8 and colour in (2, 6)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            packed += chunk
        position += 12 + length
    raw, stride, rows, previous = zlib.decompress(packed), width * channels, [], [0] * width * channels
    for y in range(height):
        kind, line = raw[y * (stride + 1)], list(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        previous = line
        rows.append([sum(line[x * channels:x * channels + 3]) // 3 for x in range(width)])
    return rows


def render(svg: str, directory: Path, name: str) -> tuple[Path, list[dict]]:
    """The screenshot of `svg` and the laid-out box of each of its text elements."""
    width = int(float(svg.split('width="', 1)[1].split('"', 1)[0])) + 1
    height = int(float(svg.split('height="', 1)[1].split('"', 1)[0])) + 1
    picture = directory / f"{name}.svg"
    picture.write_text(svg)
    png = directory / f"{name}.png"
    run_chromium(f"--screenshot={png}", f"--window-size={width},{height}", picture.as_uri())
    page = directory / f"{name}.html"
    page.write_text(f"<!DOCTYPE html><html><body style='margin:0'>{svg}{MEASURE_TEXTS}</body></html>")
    dom = run_chromium("--dump-dom", "--virtual-time-budget=2000", page.as_uri())
    boxes = json.loads(dom.split('<pre id="boxes">', 1)[1].split("</pre>", 1)[0].replace("&quot;", '"'))
    return png, boxes


def assert_drawn(png: Path) -> None:
    """The screenshot holds more than a blank page: dark pixels (lines, text) on white."""
    rows = png_gray(png)
    assert len(rows) > 30 and len(rows[0]) > 50
    pixels = [value for row in rows for value in row]
    dark = sum(value < 100 for value in pixels)
    assert len(pixels) // 1000 < dark < len(pixels) // 2, "nothing, or everything, is dark"
    assert sum(value > 240 for value in pixels) > len(pixels) // 2, "the background is not white"


def assert_labels_shown(boxes: list[dict], labels) -> None:
    shown = {box["text"] for box in boxes if box["width"] > 0 and box["height"] > 0 and box["inside"]}
    missing = [label for label in labels if label not in shown]
    assert not missing, f"labels not rendered inside the picture: {missing[:10]}"
