"""Detector error models: korvane's against errors injected forwards on random noisy circuits and
against the tableau simulator's on every generated circuit, decompositions, the decoded logical
error rate, the model's text and class, and refusals. Random circuits against the tableau
simulator are in test_crosscheck_stim.py."""

import _thread
import pickle
import threading

import pytest
import stim

import korvane
from qec_circuits import (HERALDED, PRODUCTS_AND_PADS, assert_same_canonical,
                          graphlike_parts_valid, model_errors, random_noisy_circuit,
                          reference_error_model)

GENERATED = [
    "repetition_code:memory",
    "surface_code:rotated_memory_x",
    "surface_code:rotated_memory_z",
    "surface_code:unrotated_memory_x",
    "surface_code:unrotated_memory_z",
]
NOISE = dict(after_clifford_depolarization=0.001, before_round_data_depolarization=0.002,
             before_measure_flip_probability=0.003, after_reset_flip_probability=0.004)


def assert_same_model(text, **options):
    ours = korvane.Circuit(text).detector_error_model(**options)
    theirs = stim.Circuit(text).detector_error_model(
        decompose_errors=options.get("decompose_errors", False))
    ours_read = stim.DetectorErrorModel(str(ours))
    assert ours_read.num_errors == ours.num_errors
    assert (ours.num_detectors, ours.num_observables) == (
        theirs.num_detectors, theirs.num_observables)
    assert_same_canonical(ours_read, theirs)
    if options.get("decompose_errors"):
        assert graphlike_parts_valid(ours_read)
    return ours


@pytest.mark.parametrize("seed", range(12))
def test_random_noisy_circuits_against_injected_errors(seed):
    """The backward pass against a forward one: each mechanism's Pauli run through the
    noiseless circuit on the graph engine. The folded model (a REPEAT kept) flattens to it too."""
    expected = reference_error_model(random_noisy_circuit(seed, unrolled=True), korvane)
    folded = korvane.Circuit(random_noisy_circuit(seed)).detector_error_model()
    for model in (folded.flattened(),
                  korvane.Circuit(random_noisy_circuit(seed)).detector_error_model(
                      flatten_loops=True)):
        errors = model_errors(str(model))
        assert errors.keys() == expected.keys()
        assert all(abs(errors[key] - expected[key]) < 1e-12 for key in errors)


@pytest.mark.parametrize("kind", GENERATED)
@pytest.mark.parametrize("distance, rounds", [(2, 1), (3, 3), (4, 6)])
def test_generated_circuits(kind, distance, rounds):
    text = str(korvane.Circuit.generated(kind, distance=distance, rounds=rounds, **NOISE))
    folded = assert_same_model(text)
    assert_same_model(text, flatten_loops=True)
    decomposed = assert_same_model(text, decompose_errors=True)
    # The circuit keeps the code's distance: no fewer than `distance` errors flip the logical
    # observable unseen.
    shortest = stim.DetectorErrorModel(str(decomposed)).shortest_graphlike_error()
    assert len(shortest) == distance
    flat = korvane.Circuit(text).detector_error_model(flatten_loops=True)
    # A run of identical rounds becomes one repeat block, which flattens to the same model.
    assert ("repeat" in str(folded)) == (rounds >= 4)
    assert "repeat" not in str(flat)
    assert_same_canonical(stim.DetectorErrorModel(str(folded.flattened())),
                          stim.DetectorErrorModel(str(flat)))


def test_cluster_circuit():
    checkerboard = "".join("XZ"[(row + column) % 2] for row in range(4) for column in range(5))
    circuit = korvane.Circuit.generated("cluster_state:mbqc_2d", distance=4, rounds=5,
                                        bases=checkerboard, **NOISE)
    assert circuit.num_detectors == 10
    assert_same_model(str(circuit), decompose_errors=True)


def test_generated_arguments():
    generated = korvane.Circuit.generated
    for kind, qubits, detectors in [("repetition_code:memory", 5, 8),
                                    ("surface_code:rotated_memory_z", 17, 24),
                                    ("surface_code:unrotated_memory_x", 25, 36)]:
        circuit = generated(kind, distance=3, rounds=3)
        assert (circuit.num_qubits, circuit.num_detectors, circuit.num_observables) == (
            qubits, detectors, 1)
        assert "DEPOLARIZE" not in str(circuit) and "_ERROR" not in str(circuit)
    random_bases = generated("cluster_state:mbqc_2d", distance=3, rounds=4, seed=1)
    assert random_bases.num_qubits == 12
    assert str(random_bases) == str(generated("cluster_state:mbqc_2d", distance=3, rounds=4, seed=1))
    for kwargs, error, message in [
        (dict(kind="toric_code:memory"), ValueError, "unknown circuit kind"),
        (dict(distance=1), ValueError, "distance must be at least 2"),
        (dict(rounds=0), ValueError, "rounds must be at least 1"),
        (dict(after_reset_flip_probability=2.0), ValueError, r"\[0, 1\]"),
        (dict(bases="XZ"), ValueError, "only the cluster takes bases"),
        (dict(kind="cluster_state:mbqc_2d", bases="XQ"), ValueError, "one of X, Y or Z"),
        (dict(distance="3"), TypeError, "distance"),
        (dict(distance=2**64), ValueError, r"distance must lie in \[0, 2\*\*32\)"),
        (dict(rounds=-(2**70)), ValueError, r"rounds must lie in \[0, 2\*\*32\)"),
    ]:
        arguments = dict(kind="repetition_code:memory", distance=3, rounds=2) | kwargs
        kind = arguments.pop("kind")
        with pytest.raises(error, match=message):
            generated(kind, **arguments)


def test_channel_conversion_and_merging():
    # The worked examples: two flips merged as independent events; a disjoint channel written
    # as independent ones.
    model = korvane.Circuit("X_ERROR(0.1) 0\nX_ERROR(0.2) 0\nM 0\nDETECTOR rec[-1]\n"
                            "OBSERVABLE_INCLUDE(0) rec[-1]").detector_error_model()
    assert str(model) == "error(0.26) D0 L0\n"
    text = "H 1\nPAULI_CHANNEL_1(0.01, 0.02, 0.03) 0 1\nH 1\nM 0 1\nDETECTOR rec[-2]\nDETECTOR rec[-1]"
    assert_same_model(text)
    noiseless = korvane.Circuit("M 0\nDETECTOR(1, 2) rec[-1]\nOBSERVABLE_INCLUDE(2) rec[-1]")
    assert str(noiseless.detector_error_model()) == "detector(1, 2) D0\nlogical_observable L2\n"


def test_products_pads_and_pair_cliffords():
    """Two-qubit Cliffords, pair and product measurements with flips, SPP and SPP_DAG, pads with
    flips and the identity channels, against the tableau simulator's model (its one-case
    PAULI_CHANNEL_2 is exact); decomposed, the parts are graphlike and join back."""
    theirs = stim.Circuit(PRODUCTS_AND_PADS).detector_error_model(approximate_disjoint_errors=True)
    for decompose in (False, True):
        ours = stim.DetectorErrorModel(str(korvane.Circuit(PRODUCTS_AND_PADS).detector_error_model(
            decompose_errors=decompose)))
        assert_same_canonical(ours, theirs)
        assert graphlike_parts_valid(ours) or not decompose


def test_refusals_name_the_line():
    with pytest.raises(ValueError, match=r"line 4: detector 0 is not deterministic.*line 1"):
        korvane.Circuit("R 0\nX_ERROR(0.1) 0\nMX 0\nDETECTOR rec[-1]").detector_error_model()
    with pytest.raises(ValueError, match=r"line 1: the cases of PAULI_CHANNEL_1 cannot be written"):
        korvane.Circuit("PAULI_CHANNEL_1(0.2, 0.3, 0) 0\nM 0\nDETECTOR rec[-1]"
                        ).detector_error_model()
    three = "X_ERROR(0.1) 0\nM 0\nDETECTOR rec[-1]\nDETECTOR rec[-1]\nDETECTOR rec[-1]"
    assert korvane.Circuit(three).detector_error_model().num_errors == 1
    with pytest.raises(ValueError, match=r"line 1: an error of X_ERROR flips 3 detectors"):
        korvane.Circuit(three).detector_error_model(decompose_errors=True)
    with pytest.raises(TypeError, match="decompose_errors"):
        korvane.Circuit("M 0").detector_error_model(decompose_errors=1)
    with pytest.raises(ValueError, match=r"line 33: HERALDED_PAULI_CHANNEL_1 has no detector"):
        korvane.Circuit(HERALDED).detector_error_model()
    with pytest.raises(ValueError, match=r"line 1: .*X0\*Z0.* cannot be measured"):
        korvane.Circuit("MPP X0*Z0").detector_error_model()
    with pytest.raises(ValueError, match=r"line 3: detector 0 .*collapse of qubit 0 on line 1"):
        korvane.Circuit("MPP X0\nMPP Z0*Z1\nDETECTOR rec[-1]").detector_error_model()
    conditioned = korvane.Circuit.from_qasm(
        'OPENQASM 2.0;\ninclude "qelib1.inc";\nqreg q[2];\ncreg c[1];\nmeasure q[0] -> c[0];\n'
        'if(c==1) h q[1];\n')
    with pytest.raises(ValueError, match=r"line 6: a condition read from OpenQASM's if\(\)"):
        conditioned.detector_error_model()


def test_model_text_class(tmp_path):
    text = ("error(0.125) D0 D1 ^ D2 L0\n"
            "repeat 3 {\n    error(0.25) D0 D1\n    detector(1, 2) D1\n"
            "    shift_detectors(0, 1) 2\n}\nlogical_observable L3\n")
    model = korvane.DetectorErrorModel(text)
    assert str(model) == text
    assert (model.num_detectors, model.num_observables, model.num_errors) == (6, 4, 4)
    reference = stim.DetectorErrorModel(text)
    assert (reference.num_detectors, reference.num_observables, reference.num_errors) == (6, 4, 4)
    assert_same_canonical(stim.DetectorErrorModel(str(model.flattened())), reference)
    path = tmp_path / "model.dem"
    path.write_text("ERROR(0.5) d0  # a comment\n")
    assert str(korvane.DetectorErrorModel.from_file(path)) == "error(0.5) D0\n"
    assert pickle.loads(pickle.dumps(model)) == model != korvane.DetectorErrorModel("")
    for bad, message in [("error(0.5) D0 ^", "line 1: a '\\^' must stand"),
                         ("error(1.5) D0", "outside"), ("repeat 2 {\nerror(0.1) D0", "line 1"),
                         ("detector L0", "detector targets"), ("frobnicate", "unknown"),
                         ("error(1e999) D0", "'1e999' is too large")]:
        with pytest.raises(ValueError, match=message):
            korvane.DetectorErrorModel(bad)
    assert str(korvane.DetectorErrorModel("error(1e-999) D0")) == "error(0) D0\n"
    # Bytes that are no UTF-8 are quoted in a message that is.
    path.write_bytes(b"error(0.1) D0 \xff\xfe\n")
    with pytest.raises(ValueError, match=r"unexpected target '\\xff\\xfe'"):
        korvane.DetectorErrorModel.from_file(path)
    with pytest.raises(OSError):
        korvane.DetectorErrorModel.from_file(tmp_path / "missing.dem")


def test_decoded_logical_error_rate_agrees_with_the_reference(tmp_path):
    """d = 5, p = 0.5%: korvane's samples decoded with korvane's model, against the reference's
    samples decoded with its own model, agree within their error bars."""
    pymatching = pytest.importorskip("pymatching")
    p = 0.005
    text = str(korvane.Circuit.generated(
        "surface_code:rotated_memory_z", distance=5, rounds=5, after_clifford_depolarization=p,
        before_round_data_depolarization=p, before_measure_flip_probability=p,
        after_reset_flip_probability=p))
    shots = 40_000
    path = tmp_path / "model.dem"
    path.write_text(str(korvane.Circuit(text).detector_error_model(decompose_errors=True)))
    ours = pymatching.Matching.from_detector_error_model_file(str(path))
    detectors, observables = korvane.Circuit(text).sample_detectors(shots, seed=11)
    our_rate = (ours.decode_batch(detectors)[:, 0] != observables[:, 0]).mean()
    reference = stim.Circuit(text)
    theirs = pymatching.Matching.from_detector_error_model(
        reference.detector_error_model(decompose_errors=True))
    detectors, observables = reference.compile_detector_sampler(seed=11).sample(
        shots, separate_observables=True)
    their_rate = (theirs.decode_batch(detectors)[:, 0] != observables[:, 0]).mean()
    sigma = ((our_rate + their_rate) / shots) ** 0.5
    assert 0.005 < our_rate < 0.05
    assert abs(our_rate - their_rate) < 4 * sigma, (our_rate, their_rate)


def test_a_long_analysis_stops_for_ctrl_c():
    # A million rounds written out one by one: far longer than the interrupt takes to come.
    circuit = korvane.Circuit("REPEAT 1000000 {\nX_ERROR(0.1) 0\nMR 0\nDETECTOR rec[-1]\n}")
    timer = threading.Timer(0.2, _thread.interrupt_main)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            circuit.detector_error_model(flatten_loops=True)
    finally:
        timer.cancel()
    # Folded, the same circuit is one repeat block at once.
    assert str(circuit.detector_error_model()) == (
        "repeat 999999 {\n    error(0.1) D0\n    shift_detectors 1\n}\nerror(0.1) D0\n")
