// Sampling whole circuits, shot by shot and by Pauli frames: the order shots draw in, stopping
// between chunks, detection rates of small noisy circuits against exact probabilities (both
// methods), frames against shots on random noisy circuits, and the verdict on which detectors are
// deterministic against noiseless shots.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "korvane/circuit/run/event_gaps.h"
#include "korvane/circuit/sampling/frame_sampler.h"
#include "korvane/circuit/sampling/reference.h"
#include "korvane/circuit/sampling/sampler.h"
#include "korvane/circuit/sampling/shot_sampler.h"
#include "korvane/circuit/text/parser.h"
#include "korvane/engine/base.h"
#include "korvane/engine/random/seeded_generator.h"
#include "scripted_source.h"

namespace korvane::testing {
namespace {

using circuit::Program;

using Method = circuit::SamplingMethod;
constexpr std::array<Method, 2> methods{Method::shots, Method::frames};

std::string name_of(Method method) { return method == Method::shots ? "shots" : "frames"; }

TEST(EventGaps, PortableLogAgreesWithTheLibrarysLogarithm) {
  // From the smallest uniform draw to 1, and the 1 - p of tiny and large p.
  for (double x = 0x1p-53; x <= 1.0; x *= 1.37) {
    EXPECT_NEAR(circuit::portable_log(x), std::log(x), 1e-11 * std::abs(std::log(x))) << x;
  }
  for (const double p : {1e-20, 1e-12, 1e-6, 0.001, 0.3, 0.999}) {
    EXPECT_NEAR(circuit::portable_log_of_complement(p), std::log1p(-p),
                1e-11 * std::abs(std::log1p(-p)))
        << p;
  }
  EXPECT_EQ(circuit::portable_log(1.0), 0.0);
}

std::vector<std::uint8_t> sample_records(const Program& program, std::uint64_t shots,
                                         std::uint64_t seed, Method method = Method::shots) {
  std::vector<std::uint8_t> records(shots * program.num_measurements);
  circuit::Sampler(program, method, seed, shots).sample_measurements(records.data());
  return records;
}

TEST(CircuitSampling, FewerShotsAreTheFirstOfMoreWithTheSameSeed) {
  // Every kind of draw: channels rare and certain, on targets and pairs, measurement flips, the
  // fresh stabilizers of measurements and resets.
  const Program program = circuit::parse_circuit(
      "H 0\nCX 0 1\nDEPOLARIZE1(0.2) 0 1\nDEPOLARIZE2(0.3) 1 2\nY_ERROR(1) 2\nM(0.1) 0\n"
      "MX 1\nCX rec[-1] 2\nPAULI_CHANNEL_1(0.1, 0.2, 0.3) 2\nMR 2\nRY 1\nM 1 2");
  const std::uint64_t block = circuit::FrameSampler(program).block_shots();
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    const std::vector<std::uint8_t> many = sample_records(program, block + 300, 99, method);
    // Frames run blocks of as few words as the shots need, drawing as a whole block would.
    for (const std::uint64_t shots : {std::uint64_t{1}, std::uint64_t{120}, block - 1, block}) {
      const std::vector<std::uint8_t> few = sample_records(program, shots, 99, method);
      EXPECT_TRUE(std::equal(few.begin(), few.end(), many.begin())) << shots;
    }
    EXPECT_NE(sample_records(program, block + 300, 100, method), many);
  }
  for (const std::uint64_t shots : {1, 64, 65, 200}) {
    EXPECT_EQ(circuit::FrameSampler(program, shots).block_shots(), (shots + 63) / 64 * 64);
  }
  EXPECT_EQ(circuit::FrameSampler(program, 100 * block).block_shots(), block);
  // The shots of one sample continue one stream, however its chunks split it.
  engine::SeededGenerator whole(99);
  engine::SeededGenerator parts(99);
  std::vector<std::uint8_t> together(300 * program.num_measurements);
  std::vector<std::uint8_t> split(together.size());
  circuit::ShotSampler(program).sample_measurements(300, whole, together.data());
  circuit::ShotSampler sampler(program);
  sampler.sample_measurements(120, parts, split.data());
  sampler.sample_measurements(180, parts, split.data() + 120 * program.num_measurements);
  EXPECT_EQ(split, together);
}

// Says stop at its second ask.
struct StopAtSecondAsk final : engine::StopCheck {
  bool stop_requested() override { return ++asks == 2; }
  int asks = 0;
};

TEST(CircuitSampling, AStopCheckStopsEveryPartOfTheWork) {
  // Each part would run for hours: the reference run, the determinism check, and the shots.
  const Program program = circuit::parse_circuit(
      "REPEAT 100000000000 {\nH 0\nCX 0 1\n}\nM 0 1\nDETECTOR rec[-1] rec[-2]");
  std::vector<std::uint8_t> bits(2);
  const auto stops = [](auto&& work) {
    StopAtSecondAsk stop;
    EXPECT_THROW(work(&stop), engine::Interrupted);
    EXPECT_EQ(stop.asks, 2);
  };
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    stops([&](engine::StopCheck* stop) {
      circuit::Sampler(program, method, 1, 1, stop).sample_measurements(bits.data());
    });
    stops([&](engine::StopCheck* stop) {
      circuit::Sampler(program, method, 1, 1, stop).sample_detectors(bits.data(), bits.data());
    });
  }
  engine::SeededGenerator generator(1);
  stops([&](engine::StopCheck* stop) {
    circuit::ShotSampler(program, stop).sample_measurements(1, generator, bits.data());
  });
  stops([&](engine::StopCheck* stop) {
    circuit::FrameSampler(program, 1, stop)
        .sample_detectors(1, generator, bits.data(), bits.data());
  });
}

// The fraction of shots in which each detector, then each observable, reads 1.
std::vector<double> detection_rates(const std::string& text, std::uint64_t shots,
                                    std::uint64_t seed, Method method) {
  const Program program = circuit::parse_circuit(text);
  std::vector<std::uint8_t> detectors(shots * program.num_detectors);
  std::vector<std::uint8_t> observables(shots * program.num_observables);
  circuit::Sampler sampler(program, method, seed, shots);
  sampler.check_detectors();
  sampler.sample_detectors(detectors.data(), observables.data());
  std::vector<double> rates(program.num_detectors + program.num_observables);
  for (std::uint64_t shot = 0; shot < shots; ++shot) {
    for (std::size_t d = 0; d < program.num_detectors; ++d) {
      rates[d] += detectors[shot * program.num_detectors + d];
    }
    for (std::size_t o = 0; o < program.num_observables; ++o) {
      rates[program.num_detectors + o] += observables[shot * program.num_observables + o];
    }
  }
  for (double& rate : rates) rate /= static_cast<double>(shots);
  return rates;
}

// Within five binomial standard errors (plus a hair for p = 0 or 1).
void expect_rate(double measured, double exact, std::uint64_t shots, const std::string& what) {
  const double spread = 5 * std::sqrt(exact * (1 - exact) / static_cast<double>(shots)) + 1e-9;
  EXPECT_NEAR(measured, exact, spread) << what;
}

constexpr std::uint64_t shots = 40000;

TEST(CircuitSampling, BellPairWithDepolarizingNoise) {
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    const double p = 0.3;
    // 8 of the 15 two-qubit Paulis flip the ZZ parity (an X or Y on exactly one qubit), and 8 the
    // XX parity; YY stays deterministic (-1 on this state), flipped by the same count.
    const std::vector<double> rates = detection_rates(
        "H 0\nCX 0 1\nDEPOLARIZE2(0.3) 0 1\nM 0 1\nDETECTOR rec[-1] rec[-2]\n"
        "H 2\nCX 2 3\nDEPOLARIZE2(0.3) 2 3\nMX 2 3\nDETECTOR rec[-1] rec[-2]\n"
        "H 4\nCX 4 5\nDEPOLARIZE1(0.3) 4\nMY 4 5\nDETECTOR rec[-1] rec[-2]\n",
        shots, 1, method);
    expect_rate(rates[0], 8 * p / 15, shots, "ZZ after DEPOLARIZE2");
    expect_rate(rates[1], 8 * p / 15, shots, "XX after DEPOLARIZE2");
    expect_rate(rates[2], 2 * p / 3, shots, "YY after DEPOLARIZE1");
  }
}

TEST(CircuitSampling, RepetitionCodeMemory) {
  // Three data qubits, two ancillas; X_ERROR(p) on the data each round. A syndrome detector fires
  // when exactly one of its two data qubits flipped that round; the final detectors never fire;
  // the observable reads an odd number of flips of qubit 0 over the rounds.
  const double p = 0.1;
  const int rounds = 4;
  const std::string round_body = "X_ERROR(0.1) 0 1 2\nCX 0 3 1 3 1 4 2 4\nMR 3 4\n";
  const std::string text = round_body + "DETECTOR rec[-2]\nDETECTOR rec[-1]\nREPEAT 3 {\n" +
                           round_body +
                           "DETECTOR rec[-2] rec[-4]\nDETECTOR rec[-1] rec[-3]\n}\n"
                           "M 0 1 2\nDETECTOR rec[-3] rec[-2] rec[-5]\n"
                           "DETECTOR rec[-2] rec[-1] rec[-4]\nOBSERVABLE_INCLUDE(0) rec[-3]\n";
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    const std::vector<double> rates = detection_rates(text, shots, 2, method);
    ASSERT_EQ(rates.size(), 2U * rounds + 2 + 1);
    for (int d = 0; d < 2 * rounds; ++d) {
      expect_rate(rates[d], 2 * p * (1 - p), shots, "syndrome");
    }
    expect_rate(rates[2 * rounds], 0, shots, "final check");
    expect_rate(rates[2 * rounds + 1], 0, shots, "final check");
    expect_rate(rates.back(), (1 - std::pow(1 - 2 * p, rounds)) / 2, shots, "logical flip");
  }
}

constexpr const char* teleportation = "H 0\nS 0\nZ_ERROR(0.2) 0\nH 1\nCX 1 2\nCX 0 1\nH 0\nM 0 1\n";

TEST(CircuitSampling, TeleportationWithFeedback) {
  // |+i> goes from qubit 0 to qubit 2; the Z error turns it into |-i>. The corrections make the
  // final Y result deterministic without noise; with noise it flips exactly when Z struck.
  const std::string corrected = std::string(teleportation) + "CX rec[-1] 2\nCZ rec[-2] 2\nMY 2\n";
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    const std::vector<double> rates = detection_rates(
        corrected + "DETECTOR rec[-1]\nOBSERVABLE_INCLUDE(0) rec[-1]\n", shots, 3, method);
    expect_rate(rates[0], 0.2, shots, "teleported Y");
    expect_rate(rates[1], 0.2, shots, "teleported Y as an observable");
  }
  // Without the corrections the result is a coin, which a detector cannot be relative to.
  EXPECT_THROW(circuit::check_deterministic(
                   circuit::parse_circuit(std::string(teleportation) + "MY 2\nDETECTOR rec[-1]")),
               engine::InvalidInput);
}

TEST(CircuitSampling, MeasurementFlipsAndPauliChannels) {
  for (const Method method : methods) {
    SCOPED_TRACE(name_of(method));
    const std::vector<double> rates = detection_rates(
        "RX 0\nMX(0.25) !0\nDETECTOR rec[-1]\n"
        "PAULI_CHANNEL_1(0.1, 0.2, 0.3) 1\nM 1\nDETECTOR rec[-1]\n"
        "RX 2\nPAULI_CHANNEL_1(0.1, 0.2, 0.3) 2\nMRX 2\nDETECTOR rec[-1]\n"
        "RY 3\nY_ERROR(0.4) 3\nZ_ERROR(0.5) 3\nMY 3\nDETECTOR rec[-1]\n"
        "X_ERROR(1) 4\nMR(0.002) 4\nDETECTOR rec[-1]\nM 4\nDETECTOR rec[-1]\n"
        "RY 5\nPAULI_CHANNEL_1(0.25, 0.5, 0.25) 5\nMRY 5\nDETECTOR rec[-1]\n",
        shots, 4, method);
    expect_rate(rates[0], 0.25, shots, "M(p) flip");
    expect_rate(rates[1], 0.1 + 0.2, shots, "X or Y flips Z");
    expect_rate(rates[2], 0.2 + 0.3, shots, "Y or Z flips X");
    expect_rate(rates[3], 0.5, shots, "Y never flips Y, Z half the time");
    expect_rate(rates[4], 1 - 0.002, shots, "a certain error, a rare flip");
    expect_rate(rates[5], 0, shots, "reset after the flip");
    expect_rate(rates[6], 0.5, shots, "X or Z flips Y");
    // An inverted target records the complement; a random outcome is a fair coin.
    const Program program = circuit::parse_circuit("RX 0\nMX !0\nH 1\nM 1");
    const std::vector<std::uint8_t> records = sample_records(program, shots, 5, method);
    double ones = 0;
    for (std::uint64_t shot = 0; shot < shots; ++shot) {
      EXPECT_EQ(records[2 * shot], 1);
      ones += records[2 * shot + 1];
    }
    expect_rate(ones / shots, 0.5, shots, "random outcome");
  }
}

TEST(CircuitSampling, RareNoiseOverManyFramesKeepsItsRate) {
  // Gaps between rare events span blocks of frames: a million shots at p = 0.001 and 0.01.
  const std::uint64_t many = 1'000'000;
  const std::vector<double> rates = detection_rates(
      "X_ERROR(0.001) 0\nM 0\nDETECTOR rec[-1]\nDEPOLARIZE2(0.01) 1 2\nM 1 2\n"
      "DETECTOR rec[-1]\nDETECTOR rec[-2]\n",
      many, 6, Method::frames);
  expect_rate(rates[0], 0.001, many, "X_ERROR(0.001)");
  expect_rate(rates[1], 0.01 * 8 / 15, many, "DEPOLARIZE2 on the second qubit");
  expect_rate(rates[2], 0.01 * 8 / 15, many, "DEPOLARIZE2 on the first qubit");
}

TEST(CircuitSampling, FramesRecordEveryShotInItsRowAndColumn) {
  // 150 measurements whose results are fixed and 100 shots, neither a multiple of 64: the frames'
  // bits must reach each shot's row at each measurement's column.
  std::string text;
  std::vector<std::uint8_t> expected;
  for (int q = 0; q < 150; ++q) {
    const bool flipped = q % 3 == 0;
    const bool inverted = q % 7 == 0;
    if (flipped) text += "X " + std::to_string(q) + "\n";
    text += "H " + std::to_string(q) + "\nMX " + std::string(inverted ? "!" : "") +
            std::to_string(q) + "\n";
    expected.push_back(flipped != inverted ? 1 : 0);
  }
  const Program program = circuit::parse_circuit(text + "H 150\nM 150\n");
  const std::vector<std::uint8_t> records = sample_records(program, 100, 8, Method::frames);
  double ones = 0;
  for (std::size_t shot = 0; shot < 100; ++shot) {
    const auto row = records.begin() + static_cast<std::ptrdiff_t>(shot * 151);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), row)) << "shot " << shot;
    ones += row[150];
  }
  expect_rate(ones / 100, 0.5, 100, "random outcome");
}

// A random circuit on four qubits, of every kind of instruction that changes frames; noisy, it
// has noise channels and measurement flips too.
std::string random_circuit(SeededSource& random, int& measurements, bool noisy = false) {
  static constexpr std::array<const char*, 15> singles{
      "I",          "X",      "Y",          "Z",    "H",    "S",     "S_DAG", "SQRT_X",
      "SQRT_X_DAG", "SQRT_Y", "SQRT_Y_DAG", "H_XY", "H_YZ", "C_XYZ", "C_ZYX"};
  static constexpr std::array<const char*, 10> pairs{"CX",  "CY",  "CZ",  "XCX", "XCY",
                                                     "XCZ", "YCX", "YCY", "YCZ", "SWAP"};
  static constexpr std::array<const char*, 9> measures{"M",   "MX", "MY", "MR", "MRX",
                                                       "MRY", "R",  "RX", "RY"};
  static constexpr std::array<const char*, 3> feedback{"CX", "CY", "CZ"};
  static constexpr std::array<const char*, 5> noise{
      "X_ERROR(0.2)", "Z_ERROR(0.15)", "DEPOLARIZE1(0.3)", "PAULI_CHANNEL_1(0.05, 0.1, 0.2)",
      "DEPOLARIZE2(0.25)"};
  std::string text;
  measurements = 0;
  for (int op = 0; op < 24; ++op) {
    const std::size_t a = random.below(4);
    const std::size_t b = (a + 1 + random.below(3)) % 4;
    const std::size_t kind = random.below(noisy ? 12 : 10);
    if (kind < 4) {
      text += std::string(singles[random.below(singles.size())]) + " " + std::to_string(a);
    } else if (kind < 7) {
      text += std::string(pairs[random.below(pairs.size())]) + " " + std::to_string(a) + " " +
              std::to_string(b);
    } else if (kind < 9 || measurements == 0) {
      const std::string name = measures[random.below(measures.size())];
      const bool flips = noisy && name[0] == 'M' && random.below(3) == 0;
      text += name + (flips ? "(0.1) " : " ") + std::to_string(a);
      if (name[0] == 'M') ++measurements;
    } else if (kind == 9) {
      text += std::string(feedback[random.below(feedback.size())]) + " rec[-" +
              std::to_string(1 + random.below(static_cast<std::size_t>(measurements))) + "] " +
              std::to_string(a);
    } else {
      const std::size_t channel = random.below(noise.size());
      text += std::string(noise[channel]) + " " + std::to_string(a) +
              (channel + 1 == noise.size() ? " " + std::to_string(b) : "");
    }
    text += "\n";
  }
  return text;
}

// How often each bit, and the XOR of each pair of bits, of a record reads 1.
std::vector<double> bit_and_pair_rates(const std::vector<std::uint8_t>& records,
                                       std::size_t width) {
  const std::size_t shot_count = records.size() / width;
  std::vector<double> rates(width * (width + 1) / 2);
  for (std::size_t shot = 0; shot < shot_count; ++shot) {
    const std::uint8_t* row = &records[shot * width];
    std::size_t slot = 0;
    for (std::size_t i = 0; i < width; ++i) {
      rates[slot++] += row[i];
      for (std::size_t j = i + 1; j < width; ++j) rates[slot++] += row[i] ^ row[j];
    }
  }
  for (double& rate : rates) rate /= static_cast<double>(shot_count);
  return rates;
}

TEST(CircuitSampling, FramesAndShotsAgreeOnRandomNoisyCircuits) {
  // Every bit and every pair parity: the randomness of measurements (fresh after each one), of
  // resets, of feedback and of noise, all must match the shot-by-shot runs.
  SeededSource random(21);
  const std::uint64_t trials = 20000;
  int compared = 0;
  for (int circuit_number = 0; circuit_number < 40; ++circuit_number) {
    int measurements = 0;
    const std::string text = random_circuit(random, measurements, circuit_number % 4 != 0);
    const Program program = circuit::parse_circuit(text);
    const std::uint64_t by_shots = random.below(1U << 30);
    const std::uint64_t by_frames = random.below(1U << 30);
    const std::size_t width = program.num_measurements;
    const std::vector<double> shot_rates =
        bit_and_pair_rates(sample_records(program, trials, by_shots, Method::shots), width);
    const std::vector<double> frame_rates =
        bit_and_pair_rates(sample_records(program, trials, by_frames, Method::frames), width);
    for (std::size_t k = 0; k < shot_rates.size(); ++k) {
      const double mean = (shot_rates[k] + frame_rates[k]) / 2;
      const double spread = 5 * std::sqrt(2 * mean * (1 - mean) / trials) + 1e-9;
      EXPECT_NEAR(frame_rates[k], shot_rates[k], spread) << "rate " << k << " of\n" << text;
      ++compared;
    }
  }
  EXPECT_GT(compared, 250);
}

TEST(CircuitSampling, DeterministicDetectorsAreExactlyThoseThatNoiselessShotsNeverFlip) {
  SeededSource random(11);
  int deterministic = 0;
  int random_ones = 0;
  for (int circuit_number = 0; circuit_number < 60; ++circuit_number) {
    int measurements = 0;
    const std::string body = random_circuit(random, measurements);
    if (measurements < 2) continue;
    for (int candidate = 0; candidate < 6; ++candidate) {
      const auto k1 = 1 + random.below(static_cast<std::size_t>(measurements));
      const auto k2 = 1 + random.below(static_cast<std::size_t>(measurements));
      const std::string parity =
          " rec[-" + std::to_string(k1) + "] rec[-" + std::to_string(k2) + "]";
      const bool as_observable = candidate % 2 == 1;
      const std::string text =
          body + (as_observable ? "OBSERVABLE_INCLUDE(0)" : "DETECTOR") + parity + "\n";
      const Program program = circuit::parse_circuit(text);
      // 64 noiseless shots: a parity that is not constant shows both values but with
      // probability 2^-63.
      const std::vector<std::uint8_t> records =
          sample_records(program, 64, random.below(1U << 30), Method::shots);
      std::array<int, 2> seen{};
      for (std::size_t shot = 0; shot < 64; ++shot) {
        const std::uint8_t* row = &records[shot * program.num_measurements];
        ++seen[row[program.num_measurements - k1] ^ row[program.num_measurements - k2]];
      }
      const bool constant = seen[0] == 0 || seen[1] == 0;
      try {
        circuit::check_deterministic(program);
        const circuit::NoiselessReference reference =
            circuit::noiseless_reference(program, circuit::ReferenceParts::parities);
        EXPECT_TRUE(constant) << "called deterministic but varies:\n" << text;
        const std::uint8_t value =
            as_observable ? reference.observables.at(0) : reference.detectors.at(0);
        EXPECT_EQ(value, seen[1] != 0 ? 1 : 0) << text;
        ++deterministic;
      } catch (const engine::InvalidInput&) {
        EXPECT_FALSE(constant) << "called random but constant:\n" << text;
        ++random_ones;
      }
    }
  }
  // Both verdicts were put to the test.
  EXPECT_GT(deterministic, 40);
  EXPECT_GT(random_ones, 40);
}

}  // namespace
}  // namespace korvane::testing
