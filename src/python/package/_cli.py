"""The `korvane` command line: batch jobs on circuit files.

    korvane sample          measurement records of a circuit's shots
    korvane detect          detection events (and observables) of a circuit's shots
    korvane analyze_errors  the circuit's detector error model
    korvane m2d             detection events computed from measurement records
    korvane gen             a generated circuit (repetition code, surface codes, cluster)

Circuits come from --in FILE or standard input, results go to --out FILE or standard output, in
the result formats other tools read (01, b8, r8, hits, dets, ptb64). Bad input is reported on
standard error with exit status 2, and leaves no output file behind.
"""

import argparse
import contextlib
import io
import os
import sys
import time
from collections.abc import Callable, Iterator, Sequence
from typing import IO, Any

import korvane

FORMATS = ("01", "b8", "r8", "hits", "dets", "ptb64")
KINDS = {
    "repetition_code": ("memory",),
    "surface_code": (
        "rotated_memory_x", "rotated_memory_z", "unrotated_memory_x", "unrotated_memory_z",
    ),
    "cluster_state": ("mbqc_2d",),
}
NOISE = (
    "after_clifford_depolarization",
    "before_round_data_depolarization",
    "before_measure_flip_probability",
    "after_reset_flip_probability",
)
# Successive chunks of one job draw from seeds this far apart.
SEED_STEP = 0x9E3779B97F4A7C15
# A progress line appears once a job is expected to take longer than this.
PROGRESS_AFTER_SECONDS = 2.0


class InputError(Exception):
    """Bad input: reported with exit status 2."""


@contextlib.contextmanager
def output(path: str | None) -> Iterator[IO[bytes]]:
    """The binary stream to write a result to: standard output, or a file that appears whole
    when the job succeeds and not at all when it fails."""
    if path is None or path == "-":
        yield sys.stdout.buffer
        sys.stdout.buffer.flush()
        return
    directory, name = os.path.split(os.path.abspath(path))
    partial = os.path.join(directory, f".{name}.{os.getpid()}.partial")
    handle = os.open(partial, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with os.fdopen(handle, "wb") as stream:
            yield stream
        os.replace(partial, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(partial)
        raise


def read_input(path: str | None) -> bytes:
    if path is None or path == "-":
        return sys.stdin.buffer.read()
    with open(path, "rb") as stream:
        return stream.read()


def read_circuit(path: str | None) -> korvane.Circuit:
    text = read_input(path)
    try:
        return korvane.Circuit(text.decode("utf-8"))
    except UnicodeDecodeError as error:
        raise InputError(f"the circuit is not UTF-8 text: {error}") from None


class Progress:
    """A progress line on standard error, when it is a terminal and the job runs long."""

    def __init__(self, label: str, total: int) -> None:
        self.label = label
        self.total = total
        self.start = time.monotonic()
        self.shown = False
        self.enabled = sys.stderr.isatty()

    def update(self, done: int) -> None:
        if not self.enabled or done == 0:
            return
        elapsed = time.monotonic() - self.start
        expected = elapsed * self.total / done
        if not self.shown and expected < PROGRESS_AFTER_SECONDS:
            return
        self.shown = True
        left = max(expected - elapsed, 0.0)
        sys.stderr.write(f"\rkorvane {self.label}: {done} of {self.total} shots "
                         f"({100 * done // self.total}%), {left:.0f} s left ")
        sys.stderr.flush()

    def finish(self) -> None:
        if self.shown:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


def chunk_shots(bits: int) -> int:
    """Shots per chunk: about 16 Mbit of results, a multiple of 64 (for ptb64)."""
    return max(64, min(1 << 20, (1 << 24) // max(bits, 1)) // 64 * 64)


def check_ptb64(shots: int, *formats: str | None) -> None:
    if "ptb64" in formats and shots % 64 != 0:
        raise InputError(f"ptb64 writes whole groups of 64 shots: --shots {shots} is not a multiple of 64")


def run_chunks(label: str, shots: int, bits: int, seed: int | None,
               write: Callable[[int, int], None]) -> None:
    """Calls write(count, seed) chunk by chunk, each chunk with its own seed drawn from `seed`."""
    base = seed if seed is not None else int.from_bytes(os.urandom(8), "little")
    progress = Progress(label, shots)
    chunk = chunk_shots(bits)
    done = 0
    index = 0
    try:
        while done < shots:
            count = min(chunk, shots - done)
            write(count, (base + index * SEED_STEP) % (1 << 64))
            done += count
            index += 1
            progress.update(done)
    finally:
        progress.finish()


def command_sample(arguments: argparse.Namespace) -> None:
    circuit = read_circuit(arguments.input)
    check_ptb64(arguments.shots, arguments.out_format)
    with output(arguments.out) as out:
        def write(count: int, seed: int) -> None:
            records = circuit.sample(count, seed=seed, method=arguments.method, bit_packed=True)
            korvane.write_shots(records, out, arguments.out_format,
                                num_measurements=circuit.num_measurements)

        if arguments.shots == 0:
            return
        run_chunks("sample", arguments.shots, circuit.num_measurements, arguments.seed, write)


def appends(arguments: argparse.Namespace) -> bool:
    """Whether the observables follow the detectors in --out (always for dets, unless --obs_out
    takes them)."""
    return arguments.obs_out is None and (arguments.append_observables
                                          or arguments.out_format == "dets")


def write_detections(detectors: Any, observables: Any, circuit: korvane.Circuit,
                     arguments: argparse.Namespace, out: IO[bytes], obs_out: IO[bytes] | None) -> None:
    """Writes bit-packed rows of detection events and observables (bools when appending)."""
    import numpy as np

    if appends(arguments):
        korvane.write_shots(np.concatenate([detectors, observables], axis=1), out,
                            arguments.out_format, num_detectors=circuit.num_detectors,
                            num_observables=circuit.num_observables)
    else:
        korvane.write_shots(detectors, out, arguments.out_format,
                            num_detectors=circuit.num_detectors)
    if obs_out is not None:
        korvane.write_shots(observables, obs_out, arguments.obs_out_format,
                            num_observables=circuit.num_observables)


def check_observable_output(arguments: argparse.Namespace) -> None:
    if arguments.append_observables and arguments.obs_out is not None:
        raise InputError("--append_observables and --obs_out ask for the observables twice")
    if arguments.obs_out is not None and arguments.obs_out == arguments.out:
        raise InputError("--obs_out must name another file than --out")


def command_detect(arguments: argparse.Namespace) -> None:
    check_observable_output(arguments)
    circuit = read_circuit(arguments.input)
    check_ptb64(arguments.shots, arguments.out_format,
                arguments.obs_out_format if arguments.obs_out else None)
    # Refuses a random detector before anything is written.
    circuit.sample_detectors(0)
    with contextlib.ExitStack() as stack:
        out = stack.enter_context(output(arguments.out))
        obs_out = stack.enter_context(output(arguments.obs_out)) if arguments.obs_out else None

        def write(count: int, seed: int) -> None:
            # Bit-packed unless the observables must be joined to the detectors bit by bit.
            detectors, observables = circuit.sample_detectors(
                count, seed=seed, method=arguments.method, bit_packed=not appends(arguments))
            write_detections(detectors, observables, circuit, arguments, out, obs_out)

        if arguments.shots == 0:
            return
        bits = circuit.num_detectors + circuit.num_observables
        run_chunks("detect", arguments.shots, bits, arguments.seed, write)


def command_m2d(arguments: argparse.Namespace) -> None:
    check_observable_output(arguments)
    circuit = read_circuit(arguments.circuit)
    data = read_input(arguments.input)
    records = korvane.read_shots(io.BytesIO(data), arguments.in_format,
                                 num_measurements=circuit.num_measurements,
                                 bit_packed=not appends(arguments))
    check_ptb64(len(records), arguments.out_format,
                arguments.obs_out_format if arguments.obs_out else None)
    detectors, observables = circuit.detection_events(records)
    with contextlib.ExitStack() as stack:
        out = stack.enter_context(output(arguments.out))
        obs_out = stack.enter_context(output(arguments.obs_out)) if arguments.obs_out else None
        write_detections(detectors, observables, circuit, arguments, out, obs_out)


def command_analyze_errors(arguments: argparse.Namespace) -> None:
    circuit = read_circuit(arguments.input)
    model = circuit.detector_error_model(decompose_errors=arguments.decompose_errors,
                                         flatten_loops=arguments.flatten_loops)
    text = str(model).encode()
    with output(arguments.out) as out:
        out.write(text)


def command_gen(arguments: argparse.Namespace) -> None:
    if arguments.task not in KINDS[arguments.code]:
        raise InputError(f"--task {arguments.task} is not a task of {arguments.code}: "
                         f"{', '.join(KINDS[arguments.code])}")
    noise = {name: getattr(arguments, name) for name in NOISE}
    # One of the kinds the stubs list: KINDS holds the same names.
    kind: Any = f"{arguments.code}:{arguments.task}"
    circuit = korvane.Circuit.generated(kind,
                                        distance=arguments.distance, rounds=arguments.rounds,
                                        bases=arguments.bases, seed=arguments.seed, **noise)
    header = [f"# Generated {arguments.code} circuit.", f"# task: {arguments.task}",
              f"# rounds: {arguments.rounds}", f"# distance: {arguments.distance}"]
    header += [f"# {name}: {value:g}" for name, value in noise.items()]
    if arguments.code == "cluster_state":
        header.append("# layout: distance rows by rounds columns, qubit = row * rounds + column")
    text = "\n".join(header) + "\n" + str(circuit)
    with output(arguments.out) as out:
        out.write(text.encode())


def non_negative(text: str) -> int:
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"{text} is below 0")
    return value


def probability(text: str) -> float:
    value = float(text)
    if not 0.0 <= value <= 1.0:
        raise argparse.ArgumentTypeError(f"{text} is outside [0, 1]")
    return value


def seed_value(text: str) -> int:
    value = int(text)
    if not 0 <= value < 1 << 64:
        raise argparse.ArgumentTypeError(f"{text} is outside [0, 2**64)")
    return value


def add_sampling(command: argparse.ArgumentParser) -> None:
    command.add_argument("--shots", type=non_negative, default=1, help="shots to take (default 1)")
    command.add_argument("--seed", type=seed_value,
                         help="0 <= seed < 2**64: the same output on every run (default: random)")
    command.add_argument("--method", choices=("frames", "shots"), default="frames",
                         help="Pauli frames beside one reference run (default), or shot by shot")


def add_detection_output(command: argparse.ArgumentParser) -> None:
    command.add_argument("--out", help="the detection events' file (default: standard output)")
    command.add_argument("--out_format", choices=FORMATS, default="01")
    command.add_argument("--append_observables", action="store_true",
                         help="write the observables after the detectors of each shot "
                              "(always so for dets, unless --obs_out is given)")
    command.add_argument("--obs_out", help="write the observables to this file instead")
    command.add_argument("--obs_out_format", choices=FORMATS, default="01")


class VersionAction(argparse.Action):
    """--version: the installed distribution's version, looked up only when asked for."""

    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: Any) -> None:
        super().__init__(option_strings, dest, nargs=0, help="show the version and exit")

    def __call__(self, parser: argparse.ArgumentParser, namespace: argparse.Namespace,
                 values: Any, option_string: str | None = None) -> None:
        from importlib.metadata import version

        print(f"korvane {version('korvane')}")
        parser.exit()


def parser() -> argparse.ArgumentParser:
    """The command line's parser, one subcommand per job."""
    top = argparse.ArgumentParser(
        prog="korvane",
        description="Graph-state based quantum circuit simulator: batch jobs on circuit files.",
        epilog="Circuits are read from --in FILE or standard input. Bad input exits with "
               "status 2 and writes no output file.")
    top.add_argument("--version", action=VersionAction)
    commands = top.add_subparsers(dest="command", metavar="COMMAND")

    sample = commands.add_parser("sample", help="measurement records of a circuit's shots")
    sample.add_argument("--in", dest="input", help="the circuit file (default: standard input)")
    add_sampling(sample)
    sample.add_argument("--out", help="the output file (default: standard output)")
    sample.add_argument("--out_format", choices=FORMATS, default="01")
    sample.set_defaults(run=command_sample)

    detect = commands.add_parser("detect", help="detection events of a circuit's shots")
    detect.add_argument("--in", dest="input", help="the circuit file (default: standard input)")
    add_sampling(detect)
    add_detection_output(detect)
    detect.set_defaults(run=command_detect)

    analyze = commands.add_parser("analyze_errors", help="the circuit's detector error model")
    analyze.add_argument("--in", dest="input", help="the circuit file (default: standard input)")
    analyze.add_argument("--out", help="the model's file (default: standard output)")
    analyze.add_argument("--decompose_errors", action="store_true",
                         help="split errors into graphlike parts for matching decoders")
    analyze.add_argument("--flatten_loops", action="store_true",
                         help="write every repetition out instead of repeat blocks")
    analyze.set_defaults(run=command_analyze_errors)

    m2d = commands.add_parser("m2d", help="detection events from measurement records")
    m2d.add_argument("--circuit", required=True, help="the circuit file the records come from")
    m2d.add_argument("--in", dest="input", help="the records (default: standard input)")
    m2d.add_argument("--in_format", choices=FORMATS, default="01")
    add_detection_output(m2d)
    m2d.set_defaults(run=command_m2d)

    gen = commands.add_parser("gen", help="a generated circuit")
    gen.add_argument("--code", choices=sorted(KINDS), required=True)
    gen.add_argument("--task", required=True,
                     help="memory (repetition_code); rotated_memory_x, rotated_memory_z, "
                          "unrotated_memory_x, unrotated_memory_z (surface_code); mbqc_2d "
                          "(cluster_state)")
    gen.add_argument("--distance", type=non_negative, required=True,
                     help="the code distance, or the cluster's rows")
    gen.add_argument("--rounds", type=non_negative, required=True,
                     help="rounds of measurement, or the cluster's columns")
    for name in NOISE:
        gen.add_argument(f"--{name}", type=probability, default=0.0)
    gen.add_argument("--bases", help="the cluster's bases, one of X, Y, Z per qubit "
                                     "(default: drawn from --seed)")
    gen.add_argument("--seed", type=seed_value, help="the seed of the cluster's random bases")
    gen.add_argument("--out", help="the circuit's file (default: standard output)")
    gen.set_defaults(run=command_gen)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line on `argv` (sys.argv[1:] by default); returns the exit status."""
    arguments = parser().parse_args(argv)
    if arguments.command is None:
        parser().print_help(sys.stderr)
        return 2
    try:
        arguments.run(arguments)
    except BrokenPipeError:
        # The reader went away: stop quietly, and let no flush at exit complain.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except (InputError, ValueError, TypeError, OSError) as error:
        message = str(error) if not isinstance(error, OSError) or not error.filename else (
            f"{error.strerror}: {error.filename}")
        print(f"korvane {arguments.command}: error: {message}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"korvane {arguments.command}: interrupted", file=sys.stderr)
        return 130
    return 0
