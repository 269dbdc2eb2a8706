"""Shot files: the formats' published examples byte for byte, round trips through the tableau
simulator's readers and writers both ways, bit-packed rows, and refusals."""

import io

import numpy as np
import pytest
import stim

import korvane
from qec_circuits import HERALDED

FORMATS = ["01", "b8", "r8", "hits", "dets", "ptb64"]
# The running example: 3 shots x 10 bits (bits 0, 3, 9; none; 1, 2, 8, 9).
EXAMPLE = np.zeros((3, 10), dtype=bool)
EXAMPLE[0, [0, 3, 9]] = EXAMPLE[2, [1, 2, 8, 9]] = True
EXAMPLE_BYTES = {
    "01": b"1001000001\n0000000000\n0110000011\n",
    "b8": bytes.fromhex("090200000603"),
    "r8": bytes.fromhex("00 02 05 00 0a 01 00 05 00 00"),
    "hits": b"0,3,9\n\n1,2,8,9\n",
    "dets": b"shot M0 M3 M9\nshot\nshot M1 M2 M8 M9\n",
}


def written(data, format, **layout):
    stream = io.BytesIO()
    korvane.write_shots(data, stream, format, **layout)
    return stream.getvalue()


def test_published_examples():
    for format, expected in EXAMPLE_BYTES.items():
        assert written(EXAMPLE, format) == expected
        assert (korvane.read_shots(io.BytesIO(expected), format, num_measurements=10) == EXAMPLE).all()
    # 8 detectors and 2 observables appended.
    assert written(EXAMPLE, "dets", num_detectors=8, num_observables=2) == (
        b"shot D0 D3 L1\nshot\nshot D1 D2 L0 L1\n")
    # r8 runs of 255 zeros and more.
    long = np.zeros((3, 311), dtype=bool)
    long[0, 300] = long[2, 254] = True
    assert written(long[:, :255], "r8") == bytes.fromhex("ff00" "ff00" "fe00")
    assert written(long, "r8") == bytes.fromhex("ff2d0a" "ff38" "fe38")
    # ptb64: bit 0 of shots 0 and 8, bit 1 of shot 1, bit 2 of shot 63.
    group = np.zeros((64, 3), dtype=bool)
    group[[0, 8], 0] = group[1, 1] = group[63, 2] = True
    assert written(group, "ptb64") == bytes.fromhex(
        "0101000000000000" "0200000000000000" "0000000000000080")


@pytest.mark.parametrize("format", FORMATS)
def test_round_trips_through_the_reference(format, tmp_path):
    rng = np.random.default_rng(7)
    for bits, layout in [(10, dict(num_measurements=10)), (300, dict(num_measurements=300)),
                         (9, dict(num_detectors=6, num_observables=3))]:
        data = rng.random((128, bits)) < 0.2
        ours, theirs = tmp_path / "ours", tmp_path / "theirs"
        korvane.write_shots(data, ours, format, **layout)
        stim.write_shot_data_file(data=data, path=str(theirs), format=format, **layout)
        assert ours.read_bytes() == theirs.read_bytes()
        assert (stim.read_shot_data_file(path=str(ours), format=format, **layout) == data).all()
        assert (korvane.read_shots(theirs, format, **layout) == data).all()
        packed = korvane.read_shots(theirs, format, bit_packed=True, **layout)
        assert (packed == np.packbits(data, axis=1, bitorder="little")).all()
        assert written(packed, format, **layout) == theirs.read_bytes()


def test_refusals(tmp_path):
    bad = [("01", b"0101\n01\n", "shot 1: a line of 2 characters instead of 4"),
           ("01", b"0101", "shot 0: the last line has no final newline"),
           ("01", b"0201\n", "shot 0: a character other than 0 and 1"),
           ("hits", b"0,9\n", "shot 0: '9' is beyond the 4 bits"),
           ("dets", b"shot  M1\n", "single spaces"), ("dets", b"shot D1\n", "beyond"),
           ("r8", bytes([11]), "shot 0: a run reaches bit 11"), ("r8", bytes([1]), "ends inside"),
           ("b8", b"\x01\x02\x03", None), ("ptb64", bytes(12), "group of 64 shots")]
    for format, data, message in bad:
        bits = 16 if format == "b8" else 4
        if message is None:
            with pytest.raises(ValueError, match="2-byte shots"):
                korvane.read_shots(io.BytesIO(data), format, num_measurements=bits)
            continue
        with pytest.raises(ValueError, match=message):
            korvane.read_shots(io.BytesIO(data), format, num_measurements=bits)
    path = tmp_path / "shots.ptb64"
    with pytest.raises(ValueError, match="whole groups of 64"):
        korvane.write_shots(EXAMPLE, path, "ptb64")
    assert not path.exists() and not list(tmp_path.iterdir())
    with pytest.raises(ValueError, match="unknown shot format"):
        korvane.write_shots(EXAMPLE, path, "csv")
    with pytest.raises(ValueError, match="never share a file"):
        korvane.write_shots(EXAMPLE, path, "01", num_measurements=5, num_detectors=5)
    with pytest.raises(ValueError, match="10 bits per shot"):
        korvane.write_shots(EXAMPLE[:, :9], path, "01", num_measurements=10)


@pytest.mark.parametrize("method", ["frames", "shots"])
@pytest.mark.parametrize("circuit", [
    korvane.Circuit.generated("surface_code:rotated_memory_x", distance=3, rounds=2,
                              after_clifford_depolarization=0.05),
    korvane.Circuit(HERALDED)], ids=["surface_code", "heralded"])
def test_sampling_bit_packed(method, circuit):
    """bit_packed rows are the same shots as bools, packed as b8 packs them; pads, products and
    heralds among the records."""
    pack = lambda rows: np.packbits(rows, axis=1, bitorder="little")  # noqa: E731
    for shots in (0, 1, 63, 130):
        records = circuit.sample(shots, seed=5, method=method)
        packed = circuit.sample(shots, seed=5, method=method, bit_packed=True)
        assert packed.dtype == np.uint8 and packed.shape == (shots, -(-circuit.num_measurements // 8))
        assert (packed == pack(records)).all()
        detectors, observables = circuit.sample_detectors(shots, seed=5, method=method)
        packed_detectors, packed_observables = circuit.sample_detectors(
            shots, seed=5, method=method, bit_packed=True)
        assert packed_detectors.shape == (shots, -(-circuit.num_detectors // 8))
        assert packed_observables.shape == (shots, 1)
        assert (packed_detectors == pack(detectors)).all()
        assert (packed_observables == pack(observables)).all()


def test_detection_events_of_pads_products_and_heralds():
    """Records with pads, pair and product measurements and heralds turn into the events that the
    tableau simulator's converter makes of them, as bools and bit-packed."""
    circuit = korvane.Circuit(HERALDED)
    records = circuit.sample(500, seed=2)
    detectors, observables = circuit.detection_events(records)
    theirs = stim.Circuit(HERALDED).compile_m2d_converter().convert(
        measurements=records, separate_observables=True)
    assert detectors.any() and (detectors == theirs[0]).all() and (observables == theirs[1]).all()
    pack = lambda rows: np.packbits(rows, axis=1, bitorder="little")  # noqa: E731
    packed_detectors, packed_observables = circuit.detection_events(pack(records))
    assert (packed_detectors == pack(detectors)).all()
    assert (packed_observables == pack(observables)).all()
