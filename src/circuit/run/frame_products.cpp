#include "frame_products.h"

#include <algorithm>

namespace korvane::circuit {

using clifford::Axis;

void product_flips(const PauliFrames& frames, const engine::PauliProduct& product,
                   std::span<Word> flips) {
  std::fill(flips.begin(), flips.end(), Word{0});
  for (const engine::PauliFactor& factor : product.factors) {
    // X anticommutes with a frame's Z part, Z with its X part, Y with either but not both.
    const std::span<const Word> x = frames.x_bits(factor.qubit);
    const std::span<const Word> z = frames.z_bits(factor.qubit);
    for (std::size_t w = 0; w < flips.size(); ++w) {
      flips[w] ^= (factor.axis == Axis::X ? 0 : x[w]) ^ (factor.axis == Axis::Z ? 0 : z[w]);
    }
  }
}

void multiply_product_where(PauliFrames& frames, const engine::PauliProduct& product,
                            std::span<const Word> mask) {
  for (const engine::PauliFactor& factor : product.factors) {
    frames.multiply_where(factor.qubit, factor.axis, mask);
  }
}

void apply_product_phase(PauliFrames& frames, const engine::PauliProduct& product,
                         std::span<Word> scratch) {
  product_flips(frames, product, scratch);
  multiply_product_where(frames, product, scratch);
}

void apply_pair_clifford(PauliFrames& frames, engine::Qubit a, engine::Qubit b,
                         const PairImages& images) {
  const std::array<std::span<Word>, 4> rows{frames.x_bits(a), frames.z_bits(a), frames.x_bits(b),
                                            frames.z_bits(b)};
  for (std::size_t w = 0; w < frames.words(); ++w) {
    const std::array<Word, 4> in{rows[0][w], rows[1][w], rows[2][w], rows[3][w]};
    std::array<Word, 4> out{};
    for (std::size_t i = 0; i < 4; ++i) {
      for (std::size_t o = 0; o < 4; ++o) {
        if (((images[i] >> o) & 1U) != 0) out[o] ^= in[i];
      }
    }
    for (std::size_t o = 0; o < 4; ++o) rows[o][w] = out[o];
  }
}

}  // namespace korvane::circuit
