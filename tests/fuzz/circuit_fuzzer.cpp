// Circuit text from anywhere: reading must either refuse it with engine::InvalidInput or build a
// program whose canonical text reads back to the same program and prints the same. A small
// program is then run a few shots, shot by shot and by frames, and its detectors analysed, which
// must never fail other than by engine::InvalidInput (a detector that is not deterministic); its
// error model, when it has one, must read back from its text. The text is also read as a model
// and as OpenQASM, which refuses it or builds a program that runs shot by shot, and a program that
// OpenQASM can express is written in both versions and must read back with its measurements.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "korvane/circuit/errors/detector_error_model.h"
#include "korvane/circuit/errors/error_analysis.h"
#include "korvane/circuit/qasm/reader.h"
#include "korvane/circuit/qasm/writer.h"
#include "korvane/circuit/sampling/sampler.h"
#include "korvane/circuit/text/parser.h"
#include "korvane/circuit/text/printer.h"
#include "korvane/engine/base.h"

namespace {

namespace circuit = korvane::circuit;
namespace engine = korvane::engine;

// Large enough for every instruction, small enough that a run stays fast.
constexpr std::size_t largest_run_qubits = 16;
constexpr std::uint64_t largest_run_operations = 4096;
constexpr std::uint64_t largest_record = 4096;

[[noreturn]] void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s\n--- text ---\n%s\n", what, text.c_str());
  std::abort();
}

void run_a_few_shots(const circuit::Program& program) {
  if (program.num_qubits > largest_run_qubits || program.operations > largest_run_operations ||
      program.num_measurements > largest_record || program.num_detectors > largest_record ||
      program.num_observables > largest_record || program.deepest_lookback > largest_record) {
    return;
  }
  constexpr std::uint64_t shots = 3;
  std::vector<std::uint8_t> records(shots * program.num_measurements);
  std::vector<std::uint8_t> detectors(shots * program.num_detectors);
  std::vector<std::uint8_t> observables(shots * program.num_observables);
  for (const circuit::SamplingMethod method :
       {circuit::SamplingMethod::shots, circuit::SamplingMethod::frames}) {
    circuit::Sampler sampler(program, method, 7, shots);
    sampler.sample_measurements(records.data());
    try {
      sampler.check_detectors();
      sampler.sample_detectors(detectors.data(), observables.data());
    } catch (const engine::InvalidInput&) {
      // A detector or observable that is random without noise: a refusal, as it should be.
    }
  }
  for (const bool decompose : {false, true}) {
    try {
      const circuit::DetectorErrorModel model =
          circuit::analyze_errors(program, {decompose, false});
      const std::string text = circuit::print_detector_error_model(model);
      if (circuit::parse_detector_error_model(text) != model)
        fail("the model reads differently", text);
    } catch (const engine::InvalidInput&) {
      // Random detectors, a channel without independent form, or no graphlike decomposition.
    }
  }
}

// Model text from anywhere: refused naming a line, or read back the same from its printed form.
void read_as_model(const std::string& text) {
  circuit::DetectorErrorModel model;
  try {
    model = circuit::parse_detector_error_model(text);
  } catch (const engine::InvalidInput& refusal) {
    if (std::string_view(refusal.what()).substr(0, 5) != "line ") fail("unnamed model line", text);
    return;
  }
  const std::string printed = circuit::print_detector_error_model(model);
  if (circuit::parse_detector_error_model(printed) != model) fail("the model text changed", text);
}

bool small_enough(const circuit::Program& program) {
  return program.num_qubits <= largest_run_qubits && program.operations <= largest_run_operations &&
         program.num_measurements <= largest_record;
}

void read_as_qasm(const std::string& text) {
  try {
    const circuit::qasm::QasmCircuit read = circuit::qasm::read_qasm(text);
    if (!small_enough(read.program)) return;
    std::vector<std::uint8_t> records(read.program.num_measurements);
    circuit::Sampler(read.program, circuit::SamplingMethod::shots, 3, 1)
        .sample_measurements(records.data());
  } catch (const engine::InvalidInput& refusal) {
    if (std::string_view(refusal.what()).substr(0, 5) != "line ") fail("unnamed QASM line", text);
  }
}

void through_qasm(const circuit::Program& program, const std::string& text) {
  if (!small_enough(program)) return;
  for (const int version : {2, 3}) {
    std::string written;
    try {
      written = circuit::qasm::write_qasm(program, nullptr, version);
    } catch (const engine::InvalidInput&) {
      return;  // noise or detectors: nothing OpenQASM expresses
    }
    try {
      const circuit::qasm::QasmCircuit read = circuit::qasm::read_qasm(written);
      if (read.program.num_measurements != program.num_measurements) {
        fail("OpenQASM changed the measurements", text + "\n--- qasm ---\n" + written);
      }
    } catch (const engine::InvalidInput&) {
      fail("korvane's OpenQASM is refused", text + "\n--- qasm ---\n" + written);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  read_as_qasm(text);
  read_as_model(text);
  circuit::Program program;
  try {
    program = circuit::parse_circuit(text);
  } catch (const engine::InvalidInput& refusal) {
    if (std::string_view(refusal.what()).substr(0, 5) != "line ") fail("unnamed line", text);
    return 0;
  }
  const std::string canonical = circuit::print_circuit(program);
  try {
    const circuit::Program again = circuit::parse_circuit(canonical);
    if (!circuit::same_circuit(program, again)) fail("the canonical text reads differently", text);
    if (circuit::print_circuit(again) != canonical) fail("the canonical text changed", text);
  } catch (const engine::InvalidInput&) {
    fail("the canonical text is refused", text + "\n--- canonical ---\n" + canonical);
  }
  run_a_few_shots(program);
  through_qasm(program, text);
  return 0;
}
