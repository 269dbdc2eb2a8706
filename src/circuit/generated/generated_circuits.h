// The circuits that error-correction experiments start from, written in the circuit format with
// circuit-level noise and detector coordinates: repetition-code memory, rotated and unrotated
// surface-code memory in X and Z, and a 2D cluster state measured qubit by qubit (MBQC).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::circuit {

struct GeneratedCircuit {
  // "repetition_code:memory", "surface_code:rotated_memory_x", "surface_code:rotated_memory_z",
  // "surface_code:unrotated_memory_x", "surface_code:unrotated_memory_z" or
  // "cluster_state:mbqc_2d".
  std::string_view kind;
  std::uint32_t distance = 3;  // codes: the distance; the cluster: its rows
  std::uint32_t rounds = 1;    // codes: measurement rounds; the cluster: its columns
  // DEPOLARIZE1 after single-qubit Clifford layers, DEPOLARIZE2 after two-qubit ones.
  double after_clifford_depolarization = 0.0;
  // DEPOLARIZE1 on every data qubit at the start of each round.
  double before_round_data_depolarization = 0.0;
  // X_ERROR before Z and Y measurements, Z_ERROR before X measurements.
  double before_measure_flip_probability = 0.0;
  // X_ERROR after Z and Y resets, Z_ERROR after X resets.
  double after_reset_flip_probability = 0.0;
  // The cluster's measurement bases, one of X, Y, Z per qubit row by row; empty for bases drawn
  // from `seed`.
  std::string_view bases;
  std::uint64_t seed = 0;
};

// The circuit's text; throws engine::InvalidInput when the kind is unknown or a parameter out of
// range.
std::string generate_circuit(const GeneratedCircuit& parameters);

}  // namespace korvane::circuit
