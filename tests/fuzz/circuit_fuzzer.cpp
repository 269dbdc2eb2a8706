// Circuit text from anywhere: reading must either refuse it with a engine::InvalidInput or build a
// program whose canonical text reads back to the same program and prints the same. A small
// program is then run a few shots, shot by shot and by frames, and its detectors analysed, which
// must never fail other than by a engine::InvalidInput (a detector that is not deterministic).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
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
  return 0;
}
