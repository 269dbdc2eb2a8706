import pytest

import korvane


def single_qubit_states(sim, qubits):
    """(axis, sign) of each isolated qubit: the Pauli it is certain on, found by a trial.

    A qubit without edges is a single-qubit stabilizer state, fully named by that pair, so two
    registers of isolated qubits hold the same state exactly when these agree.
    """
    outcomes = sim.peek_measure_set(set(qubits))
    return {q: (int(o.axis), int(o.result)) for q, o in outcomes.items()}


@pytest.fixture
def states():
    return single_qubit_states


@pytest.fixture
def panic():
    """The PanicException class, fetched by provoking a fault (it is not a module attribute)."""
    try:
        korvane.Korvane(0).h(0)
    except BaseException as error:  # noqa: BLE001 - the class is what we are after
        return type(error)
    raise AssertionError("a gate on an empty register did not fail")
