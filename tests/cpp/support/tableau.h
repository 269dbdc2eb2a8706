// An exact stabilizer-tableau reference for registers far beyond state vectors: n destabilizer and
// n stabilizer rows (Aaronson and Gottesman, 2004). A gate conjugates every row; a measurement
// with a random outcome swaps in the measured Pauli by row sums, and a determined outcome is read
// off by multiplying the stabilizers that the destabilizers single out.
//
// Rows keep two relations throughout: the stabilizers commute with each other and generate the
// state's group; destabilizer i anticommutes with stabilizer i and commutes with every other
// stabilizer and destabilizer. Destabilizer signs carry no meaning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "korvane/clifford/local_clifford.h"
#include "pauli_string.h"

namespace korvane::testing {

// A measurement as the tableau saw it; outcome false is +1, true is -1.
struct Measurement {
  bool random;
  bool outcome;
};

class Tableau {
 public:
  // |0...0>: destabilizer q is X_q, stabilizer q is Z_q.
  explicit Tableau(std::size_t qubits)
      : qubits_(qubits),
        rows_(2 * qubits),
        words_(words_for(qubits)),
        x_(words_ * rows_),
        z_(words_ * rows_),
        negative_(rows_) {
    for (std::size_t q = 0; q < qubits; ++q) {
      x_at(q, q / word_bits) |= bit_of(q);
      z_at(qubits + q, q / word_bits) |= bit_of(q);
    }
  }

  std::size_t qubits() const { return qubits_; }
  PauliString destabilizer(std::size_t i) const { return row(i); }
  PauliString stabilizer(std::size_t i) const { return row(qubits_ + i); }

  // Single-qubit gates, by their action on each row's factor at q:
  // H: X <-> Z, Y -> -Y.
  void h(std::size_t q) {
    for_each_factor(q, [](PauliBits p, bool& negative) {
      negative = negative != (p.x && p.z);
      return PauliBits{p.z, p.x};
    });
  }
  // S: X -> Y, Y -> -X.
  void s(std::size_t q) {
    for_each_factor(q, [](PauliBits p, bool& negative) {
      negative = negative != (p.x && p.z);
      return PauliBits{p.x, p.z != p.x};
    });
  }
  // S^dagger: X -> -Y, Y -> X.
  void sdag(std::size_t q) {
    for_each_factor(q, [](PauliBits p, bool& negative) {
      negative = negative != (p.x && !p.z);
      return PauliBits{p.x, p.z != p.x};
    });
  }
  // A Pauli gate negates the rows whose factor at q anticommutes with it.
  void x(std::size_t q) { negate_anticommuting(q, clifford::Axis::X); }
  void y(std::size_t q) { negate_anticommuting(q, clifford::Axis::Y); }
  void z(std::size_t q) { negate_anticommuting(q, clifford::Axis::Z); }

  // The single-qubit gate above of a circuit-format name ("X", "S_DAG", ...).
  using Gate = void (Tableau::*)(std::size_t);
  static Gate single_qubit_gate(std::string_view name) {
    if (name == "X") return &Tableau::x;
    if (name == "Y") return &Tableau::y;
    if (name == "Z") return &Tableau::z;
    if (name == "H") return &Tableau::h;
    if (name == "S") return &Tableau::s;
    if (name == "S_DAG") return &Tableau::sdag;
    throw std::invalid_argument("the tableau has no gate " + std::string(name));
  }

  // P+ (x) I + P- (x) B, with P+- the projectors on the +-1 eigenspaces of Pauli A on the
  // control and B a Pauli on the target. Writing G for the gate, G P G equals P when P commutes
  // with A and with B, P B when it anticommutes with A only, P A when with B only, and -P A B when
  // with both.
  void controlled(clifford::Axis control_axis, clifford::Axis target_axis, std::size_t control,
                  std::size_t target) {
    if (control == target) throw std::invalid_argument("control and target must differ");
    const PauliBits a = bits_of(control_axis);
    const PauliBits b = bits_of(target_axis);
    for (std::size_t r = 0; r < rows_; ++r) {
      const PauliBits at_control = factor(r, control);
      const PauliBits at_target = factor(r, target);
      const bool meets_a = anticommutes(at_control, a);
      const bool meets_b = anticommutes(at_target, b);
      if (!meets_a && !meets_b) continue;
      unsigned phase = meets_a && meets_b ? 2U : 0U;
      if (meets_a) {
        phase += factor_product_phase(at_target, b);
        set_factor(r, target, {at_target.x != b.x, at_target.z != b.z});
      }
      if (meets_b) {
        phase += factor_product_phase(at_control, a);
        set_factor(r, control, {at_control.x != a.x, at_control.z != a.z});
      }
      if (phase % 4U == 2U) negative_[r] ^= 1U;
    }
  }
  void cz(std::size_t a, std::size_t b) { controlled(clifford::Axis::Z, clifford::Axis::Z, a, b); }
  void cx(std::size_t control, std::size_t target) {
    controlled(clifford::Axis::Z, clifford::Axis::X, control, target);
  }
  void cy(std::size_t control, std::size_t target) {
    controlled(clifford::Axis::Z, clifford::Axis::Y, control, target);
  }

  // The outcome of measuring `axis` on q if the state fixes it, else nothing. O(n^2 / 64).
  std::optional<bool> determined_outcome(std::size_t q, clifford::Axis axis) const {
    const PauliBits measured = bits_of(axis);
    for (std::size_t r = qubits_; r < rows_; ++r)
      if (anticommutes(factor(r, q), measured)) return std::nullopt;
    // The measured Pauli commutes with the whole group, so it lies in it (up to sign) and is the
    // product of the stabilizers whose destabilizers it anticommutes with. The product runs word
    // by word: each word of it depends only on the same word of the factors.
    std::vector<std::size_t> factors;
    unsigned phase = 0;
    for (std::size_t i = 0; i < qubits_; ++i) {
      if (!anticommutes(factor(i, q), measured)) continue;
      factors.push_back(qubits_ + i);
      phase += 2U * negative_[qubits_ + i];
    }
    for (std::size_t w = 0; w < words_; ++w) {
      Word product_x = 0;
      Word product_z = 0;
      for (const std::size_t r : factors) {
        phase += word_product_phase(product_x, product_z, x_at(r, w), z_at(r, w));
        product_x ^= x_at(r, w);
        product_z ^= z_at(r, w);
      }
      const Word expected = w == q / word_bits ? bit_of(q) : 0;
      if (product_x != (measured.x ? expected : 0) || product_z != (measured.z ? expected : 0))
        throw std::logic_error("tableau rows no longer pair up: the product is not the Pauli");
    }
    return phase % 4U == 2U;
  }

  // Measures `axis` on q and leaves the post-measurement state. A random outcome is not drawn
  // here: it is `outcome_if_random`, so the tableau can follow another simulator's draw.
  Measurement measure(std::size_t q, clifford::Axis axis, bool outcome_if_random) {
    const PauliBits measured = bits_of(axis);
    std::size_t pivot = qubits_;
    while (pivot < rows_ && !anticommutes(factor(pivot, q), measured)) ++pivot;
    if (pivot == rows_) return {false, *determined_outcome(q, axis)};
    // Every other row that anticommutes with the measured Pauli takes the pivot in, so that only
    // the pivot anticommutes; the pivot then becomes its own destabilizer and the measured Pauli,
    // signed by the outcome, takes its place.
    std::vector<std::size_t> targets;
    for (std::size_t r = 0; r < rows_; ++r)
      if (r != pivot && anticommutes(factor(r, q), measured)) targets.push_back(r);
    multiply_rows(targets, pivot);
    const std::size_t old_destabilizer = pivot - qubits_;
    for (std::size_t w = 0; w < words_; ++w) {
      x_at(old_destabilizer, w) = x_at(pivot, w);
      z_at(old_destabilizer, w) = z_at(pivot, w);
      x_at(pivot, w) = 0;
      z_at(pivot, w) = 0;
    }
    negative_[old_destabilizer] = negative_[pivot];
    set_factor(pivot, q, measured);
    negative_[pivot] = outcome_if_random ? 1U : 0U;
    return {true, outcome_if_random};
  }

  // Empty when `generators` (n signed strings) generate exactly this state's stabilizer group,
  // signs included; otherwise what is wrong. Each generator must commute with every stabilizer
  // and equal, sign included, the product of the stabilizers whose destabilizers it
  // anticommutes with; then all lie in the group, and n independent ones generate all of it.
  std::string stabilizer_group_mismatch(const std::vector<PauliString>& generators) const {
    if (generators.size() != qubits_)
      return std::to_string(generators.size()) + " generators for " + std::to_string(qubits_) +
             " qubits";
    std::vector<PauliString> stabilizers;
    std::vector<PauliString> destabilizers;
    for (std::size_t i = 0; i < qubits_; ++i) {
      stabilizers.push_back(stabilizer(i));
      destabilizers.push_back(destabilizer(i));
    }
    for (std::size_t g = 0; g < generators.size(); ++g) {
      const PauliString& generator = generators[g];
      const std::string which = "generator " + std::to_string(g) + " ";
      if (generator.qubits() != qubits_) return which + "has the wrong size";
      PauliString product(qubits_);
      for (std::size_t i = 0; i < qubits_; ++i) {
        if (!generator.commutes_with(stabilizers[i]))
          return which + "anticommutes with stabilizer " + std::to_string(i);
        if (!generator.commutes_with(destabilizers[i])) product.multiply_by(stabilizers[i]);
      }
      if (!(product == generator))
        return which + generator.text() + " is not in the group; the nearest element is " +
               product.text();
    }
    const std::size_t rank = independent_count(generators);
    if (rank != qubits_) return "only " + std::to_string(rank) + " generators are independent";
    return {};
  }

  bool same_stabilizer_group(const std::vector<PauliString>& generators) const {
    return stabilizer_group_mismatch(generators).empty();
  }

 private:
  // Word w of every row lies together, so a gate on one qubit runs through one block of memory.
  Word& x_at(std::size_t r, std::size_t w) { return x_[w * rows_ + r]; }
  Word& z_at(std::size_t r, std::size_t w) { return z_[w * rows_ + r]; }
  Word x_at(std::size_t r, std::size_t w) const { return x_[w * rows_ + r]; }
  Word z_at(std::size_t r, std::size_t w) const { return z_[w * rows_ + r]; }

  PauliBits factor(std::size_t r, std::size_t q) const {
    const std::size_t w = q / word_bits;
    return {(x_at(r, w) & bit_of(q)) != 0, (z_at(r, w) & bit_of(q)) != 0};
  }

  void set_factor(std::size_t r, std::size_t q, PauliBits bits) {
    const std::size_t w = q / word_bits;
    x_at(r, w) = bits.x ? x_at(r, w) | bit_of(q) : x_at(r, w) & ~bit_of(q);
    z_at(r, w) = bits.z ? z_at(r, w) | bit_of(q) : z_at(r, w) & ~bit_of(q);
  }

  PauliString row(std::size_t r) const {
    std::vector<Word> x(words_);
    std::vector<Word> z(words_);
    for (std::size_t w = 0; w < words_; ++w) {
      x[w] = x_at(r, w);
      z[w] = z_at(r, w);
    }
    return PauliString(qubits_, std::move(x), std::move(z), negative_[r] != 0);
  }

  static bool anticommutes(PauliBits a, PauliBits b) { return (a.x && b.z) != (a.z && b.x); }

  // Replaces each row's factor at q by rule(factor, sign), which may also flip the sign.
  template <class Rule>
  void for_each_factor(std::size_t q, Rule rule) {
    for (std::size_t r = 0; r < rows_; ++r) {
      bool negative = negative_[r] != 0;
      set_factor(r, q, rule(factor(r, q), negative));
      negative_[r] = negative ? 1U : 0U;
    }
  }

  void negate_anticommuting(std::size_t q, clifford::Axis axis) {
    const PauliBits gate = bits_of(axis);
    for (std::size_t r = 0; r < rows_; ++r)
      if (anticommutes(factor(r, q), gate)) negative_[r] ^= 1U;
  }

  // Row r <- row r * row `source` for every r in `targets`, word by word, skipping the words
  // where the source is the identity. A target that anticommutes with the source drops the
  // product's factor i as PauliString::multiply_by does.
  void multiply_rows(const std::vector<std::size_t>& targets, std::size_t source) {
    std::vector<unsigned> phases(targets.size());
    for (std::size_t k = 0; k < targets.size(); ++k)
      phases[k] = 2U * (static_cast<unsigned>(negative_[targets[k]]) + negative_[source]);
    for (std::size_t w = 0; w < words_; ++w) {
      const Word source_x = x_at(source, w);
      const Word source_z = z_at(source, w);
      if ((source_x | source_z) == 0) continue;
      for (std::size_t k = 0; k < targets.size(); ++k) {
        Word& target_x = x_at(targets[k], w);
        Word& target_z = z_at(targets[k], w);
        phases[k] += word_product_phase(target_x, target_z, source_x, source_z);
        target_x ^= source_x;
        target_z ^= source_z;
      }
    }
    for (std::size_t k = 0; k < targets.size(); ++k)
      negative_[targets[k]] = phases[k] % 4U >= 2U ? 1U : 0U;
  }

  std::size_t qubits_;
  std::size_t rows_;   // destabilizers 0..n-1, then stabilizers n..2n-1
  std::size_t words_;  // per row, for each of x and z
  std::vector<Word> x_;
  std::vector<Word> z_;
  std::vector<std::uint8_t> negative_;  // 1 for a minus sign
};

}  // namespace korvane::testing
