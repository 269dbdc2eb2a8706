"""examples/distributed_shots.py on a LocalCluster of two worker processes: its statistics agree
with the error model, summed here over every error pattern, one seed gives the same totals on
every run, and a worker killed mid-run costs no shot, counts none twice and changes no total."""

import importlib.util
import itertools
import math
import os
import signal
import sys

import pytest
from distributed import Client, LocalCluster

from test_examples import EXAMPLES


@pytest.fixture(scope="module")
def client():
    # Each nanny writes its workers' settings (MALLOC_TRIM_THRESHOLD_, OMP_NUM_THREADS, ...) into
    # this process's environment and leaves them there; later tests' subprocesses must not inherit
    # them (glibc's malloc reads MALLOC_TRIM_THRESHOLD_), so the environment is put back.
    environment = dict(os.environ)
    try:
        with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster:
            with Client(cluster) as client:
                yield client
    finally:
        os.environ.clear()
        os.environ.update(environment)


@pytest.fixture(scope="module")
def example(client):
    """The example imported under its file name, the name under which the workers (restarted
    ones too) import the copy that upload_file sends them, so its functions travel by name."""
    path = EXAMPLES / "distributed_shots.py"
    client.upload_file(str(path))
    found = importlib.util.spec_from_file_location(path.stem, path)
    module = importlib.util.module_from_spec(found)
    sys.modules[found.name] = module
    found.loader.exec_module(module)
    return module


def enumerated_logical_error_rate(distance, rounds, error_rate):
    """Adds up the probability of every choice of I, X, Y, Z per data qubit and round that leaves
    the data in |1...1> after each round's minimum-weight correction. X and Y flip a qubit in a
    Z eigenstate, Z and I do not."""
    lightest = {}
    for flips in itertools.product((0, 1), repeat=distance):
        syndrome = tuple(a ^ b for a, b in zip(flips, flips[1:]))
        if syndrome not in lightest or sum(flips) < sum(lightest[syndrome]):
            lightest[syndrome] = flips
    probability = {"I": 1 - error_rate, **dict.fromkeys("XYZ", error_rate / 3)}
    failure = 0.0
    for paulis in itertools.product("IXYZ", repeat=distance * rounds):
        bits = [0] * distance
        for start in range(0, len(paulis), distance):
            bits = [bit ^ (pauli in "XY") for bit, pauli in zip(bits, paulis[start:])]
            syndrome = tuple(a ^ b for a, b in zip(bits, bits[1:]))
            bits = [bit ^ flip for bit, flip in zip(bits, lightest[syndrome])]
        assert len(set(bits)) == 1
        failure += bits[0] * math.prod(probability[pauli] for pauli in paulis)
    return failure


@pytest.mark.parametrize("distance, rounds, error_rate", [(3, 1, 0.3), (3, 2, 0.3), (5, 1, 0.2)])
def test_closed_form_rate_matches_the_enumeration(example, distance, rounds, error_rate):
    expected = enumerated_logical_error_rate(distance, rounds, error_rate)
    assert example.exact_logical_error_rate(distance, rounds, error_rate) == pytest.approx(expected)


def test_logical_error_rate_matches_the_error_model(example, client):
    # At p = 0.3 the logical rate is 0.186; Y taken for a non-flip would give 0.054, Z taken for
    # a flip 0.339, each more than 8 standard errors away at 600 shots.
    shots = 600
    parameters = {"distance": 3, "rounds": 2, "error_rate": 0.3}
    total = example.run_batches(client, example.repetition_batch, [100] * 6, parameters)
    assert total["shots"] == total["codewords"] == shots
    rate = enumerated_logical_error_rate(3, 2, 0.3)
    assert abs(total["logical errors"] - shots * rate) <= 4 * math.sqrt(shots * rate * (1 - rate))


def test_ghz_parities_follow_the_number_of_y_bases(example, client):
    total = example.run_batches(client, example.ghz_batch, [50] * 6, {"size": 6})
    never, always, coin = example.GHZ_CLASSES
    assert total["shots"] == total[never] + total[always] + total[coin] == 300
    assert total[never + " odd"] == 0 and total[always + " odd"] == total[always] > 0
    assert 0 < total[coin + " odd"] < total[coin]


def test_main_on_a_running_scheduler_passes_its_checks(example, client, capsys):
    address = client.scheduler.address
    arguments = ["ghz", "--size", "5", "--shots", "200", "--batch-shots", "50"]
    assert example.main([*arguments, "--scheduler", address]) == 0
    printed = capsys.readouterr().out
    assert f"200 shots in 4 batches of at most 50 on the cluster at {address}" in printed


def test_a_killed_worker_has_its_batch_run_again(example, client):
    pids = client.run(os.getpid)
    killed = {}

    def kill_a_busy_worker(done, shots):
        if not killed:
            worker, keys = next((w, keys) for w, keys in client.processing().items() if keys)
            os.kill(pids[worker], signal.SIGKILL)
            killed.update(worker=worker, keys=keys, done=done)

    sizes = example.batch_sizes(100_000, 10_000)
    parameters = {"distance": 5, "rounds": 5, "error_rate": 0.05}
    batch = example.repetition_batch
    total = example.run_batches(client, batch, sizes, parameters, kill_a_busy_worker, seed=2026)
    # The killed worker held batches that had not returned: they must have run again elsewhere,
    # with their own seeds, so the totals are those of a run that lost no worker.
    assert killed["keys"] and killed["done"] < len(sizes)
    assert total["shots"] == total["codewords"] == 100_000
    assert pids[killed["worker"]] not in client.run(os.getpid).values()
    assert total == example.run_batches(client, batch, sizes, parameters, seed=2026)


def test_one_seed_gives_the_same_totals(example, client):
    parameters = {"distance": 3, "rounds": 3, "error_rate": 0.2}
    sizes = example.batch_sizes(4000, 500)
    first = example.run_batches(client, example.repetition_batch, sizes, parameters, seed=11)
    assert first == example.run_batches(client, example.repetition_batch, sizes, parameters,
                                        seed=11)
    # Each batch has a seed of its own, and another run seed gives other batch seeds.
    seeds = example.batch_seeds(11, len(sizes))
    assert len(set(seeds + example.batch_seeds(12, len(sizes)))) == 2 * len(sizes)
    ghz = example.run_batches(client, example.ghz_batch, [40] * 5, {"size": 7}, seed=3)
    assert ghz == example.run_batches(client, example.ghz_batch, [40] * 5, {"size": 7}, seed=3)
