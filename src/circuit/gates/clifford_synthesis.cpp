#include "clifford_synthesis.h"

#include <algorithm>
#include <utility>

#include "../../engine/ops/controlled_gates.h"
#include "../../engine/ops/swap.h"
#include "gate_table.h"

namespace korvane::circuit {
namespace {

using clifford::Axis;
using clifford::Vop;

constexpr Vop vop_h = vop_with_images(image("+Z"), image("+X"));
constexpr Vop vop_h_xy = vop_with_images(image("+Y"), image("-Z"));
constexpr Vop vop_h_yz = vop_with_images(image("-X"), image("+Y"));
constexpr Vop vop_sqrt_x = vop_with_images(image("+X"), image("-Y"));

// The tableau being reduced to the identity, with the steps that reduce it.
class Reduction {
 public:
  explicit Reduction(const Tableau& tableau) : x_(tableau.x_images), z_(tableau.z_images) {}

  std::vector<CliffordStep> run() {
    for (std::size_t i = 0; i < x_.size(); ++i) reduce(i);
    // The steps take the Clifford to the identity; their inverse is the Clifford.
    std::vector<CliffordStep> clifford;
    append_inverse(steps_, clifford);
    return clifford;
  }

 private:
  static unsigned component(const SignedPauli& p, std::size_t q) {
    return ((p.x >> q) & 1U) | (((p.z >> q) & 1U) << 1U);  // 0 I, 1 X, 2 Z, 3 Y
  }

  void apply_vop(std::size_t q, Vop vop) {
    steps_.push_back({CliffordStep::Type::vop, vop, q, 0});
    for (auto* images : {&x_, &z_}) {
      for (SignedPauli& p : *images) {
        const unsigned c = component(p, q);
        if (c == 0) continue;
        const Axis axis = c == 1 ? Axis::X : (c == 2 ? Axis::Z : Axis::Y);
        const Axis to = clifford::image_axis(axis, vop);
        const std::uint32_t bit = 1U << q;
        p.x = (p.x & ~bit) | (to != Axis::Z ? bit : 0U);
        p.z = (p.z & ~bit) | (to != Axis::X ? bit : 0U);
        p.negative = p.negative != clifford::image_sign(vop, axis);
      }
    }
  }

  void apply_cx(std::size_t control, std::size_t target) {
    steps_.push_back({CliffordStep::Type::cx, 0, control, target});
    for (auto* images : {&x_, &z_}) {
      for (SignedPauli& p : *images) {
        const bool xc = ((p.x >> control) & 1U) != 0, zc = ((p.z >> control) & 1U) != 0;
        const bool xt = ((p.x >> target) & 1U) != 0, zt = ((p.z >> target) & 1U) != 0;
        if (xc && zt && (xt == zc)) p.negative = !p.negative;
        if (xc) p.x ^= 1U << target;
        if (zt) p.z ^= 1U << control;
      }
    }
  }

  void apply_swap(std::size_t a, std::size_t b) {
    steps_.push_back({CliffordStep::Type::swap, 0, a, b});
    for (auto* images : {&x_, &z_}) {
      for (SignedPauli& p : *images) {
        for (std::uint32_t* bits : {&p.x, &p.z}) {
          const std::uint32_t bit_a = (*bits >> a) & 1U, bit_b = (*bits >> b) & 1U;
          if (bit_a != bit_b) *bits ^= (1U << a) | (1U << b);
        }
      }
    }
  }

  // Brings the images of X_i and Z_i to +X_i and +Z_i, touching only qubits i and above.
  void reduce(std::size_t i) {
    const std::size_t n = x_.size();
    // The image of X_i: every factor made an X, then all gathered onto qubit i.
    for (std::size_t q = i; q < n; ++q) {
      const unsigned c = component(x_[i], q);
      if (c == 2) apply_vop(q, vop_h);
      if (c == 3) apply_vop(q, vop_h_xy);
    }
    if (component(x_[i], i) == 0) {
      std::size_t q = i + 1;
      while (component(x_[i], q) == 0) ++q;
      apply_swap(i, q);
    }
    for (std::size_t q = i + 1; q < n; ++q) {
      if (component(x_[i], q) != 0) apply_cx(i, q);
    }
    // The image of Z_i anticommutes with X_i: a Z or Y on qubit i, made a Z, then the other
    // factors made Z's and cleared by CX onto qubit i, which leaves X_i as it is.
    if (component(z_[i], i) == 3) apply_vop(i, vop_sqrt_x);
    for (std::size_t q = i + 1; q < n; ++q) {
      const unsigned c = component(z_[i], q);
      if (c == 0) continue;
      if (c == 1) apply_vop(q, vop_h);
      if (c == 3) apply_vop(q, vop_h_yz);
      apply_cx(q, i);
    }
    if (x_[i].negative) apply_vop(i, clifford::pauli_z);
    if (z_[i].negative) apply_vop(i, clifford::pauli_x);
  }

  std::vector<SignedPauli> x_;
  std::vector<SignedPauli> z_;
  std::vector<CliffordStep> steps_;
};

PauliImage single_image(const SignedPauli& pauli) {
  const Axis axis = pauli.x == 0 ? Axis::Z : (pauli.z == 0 ? Axis::X : Axis::Y);
  return {pauli.negative, {pauli_of(axis), Pauli::I}};
}

}  // namespace

clifford::Vop single_qubit_vop(const Tableau& tableau) {
  return vop_with_images(single_image(tableau.x_images[0]), single_image(tableau.z_images[0]));
}

std::vector<CliffordStep> synthesize(const Tableau& tableau) { return Reduction(tableau).run(); }

void append_inverse(std::span<const CliffordStep> forward, std::vector<CliffordStep>& steps) {
  for (std::size_t i = forward.size(); i-- > 0;) {
    const CliffordStep& step = forward[i];
    steps.push_back(step);
    if (step.type == CliffordStep::Type::vop) steps.back().vop = clifford::adjoint(step.vop);
  }
}

void apply_steps(engine::Register& reg, std::span<const CliffordStep> steps,
                 std::span<const engine::Qubit> operands) {
  for (const CliffordStep& step : steps) {
    switch (step.type) {
      case CliffordStep::Type::vop:
        reg.apply_clifford(operands[step.a], step.vop);
        break;
      case CliffordStep::Type::cx:
        engine::apply_controlled_pauli(reg, gate_of(gate_named("CX")).controlled, operands[step.a],
                                       operands[step.b]);
        break;
      case CliffordStep::Type::swap:
        engine::swap(reg, operands[step.a], operands[step.b]);
        break;
    }
  }
}

}  // namespace korvane::circuit
