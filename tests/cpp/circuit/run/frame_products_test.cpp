// Pauli products as MPP writes them, and their action on Pauli frames, against the frames' own
// kernels and a direct count of anticommuting factors.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "korvane/circuit/pauli_products.h"
#include "korvane/circuit/run/frame_products.h"

namespace korvane::testing {
namespace {

using clifford::Axis;
using engine::Word;

struct Written {
  std::uint32_t qubit;
  Axis axis;
  bool inverted = false;
};

// The product of the factors as written, or nothing when it is anti-Hermitian.
std::optional<engine::PauliProduct> product(std::vector<Written> factors) {
  std::vector<std::uint32_t> entries;
  for (const Written& factor : factors) {
    entries.push_back(circuit::factor_entry(factor.qubit, factor.axis, factor.inverted, true));
  }
  circuit::ProductScratch scratch;
  if (!circuit::multiply_factors(entries, scratch)) return std::nullopt;
  return scratch.product;
}

TEST(PauliProducts, FactorsMultiplyInOrderAndAntiHermitianOnesAreFound) {
  EXPECT_FALSE(product({{0, Axis::X}, {0, Axis::Z}}));  // -iY
  const auto identity = product({{0, Axis::X, true}, {0, Axis::X}});
  ASSERT_TRUE(identity);
  EXPECT_TRUE(identity->factors.empty() && identity->negative);
  const auto zz = product({{2, Axis::Z, true}, {0, Axis::Z, true}});
  ASSERT_TRUE(zz);
  EXPECT_FALSE(zz->negative);
  ASSERT_EQ(zz->factors.size(), 2U);
  EXPECT_EQ(zz->factors[0].qubit, 0U);
  // X Y Z on one qubit: XY = iZ, then iZ Z = i: anti-Hermitian; Z X Y = iY Y = i likewise.
  EXPECT_FALSE(product({{1, Axis::X}, {1, Axis::Y}, {1, Axis::Z}}));
  EXPECT_FALSE(product({{1, Axis::Z}, {1, Axis::X}, {1, Axis::Y}}));
  // X Z X Z = (XZ)(XZ) = (-iY)(-iY) = -1; Z X Z = -X, between factors on other qubits.
  const auto minus = product({{4, Axis::X}, {4, Axis::Z}, {4, Axis::X}, {4, Axis::Z}});
  ASSERT_TRUE(minus);
  EXPECT_TRUE(minus->factors.empty() && minus->negative);
  const auto minus_x =
      product({{3, Axis::Z}, {1, Axis::Y}, {3, Axis::X}, {0, Axis::X}, {3, Axis::Z}});
  ASSERT_TRUE(minus_x);
  EXPECT_TRUE(minus_x->negative);
  ASSERT_EQ(minus_x->factors.size(), 3U);
  EXPECT_EQ(minus_x->factors[2].qubit, 3U);
  EXPECT_EQ(minus_x->factors[2].axis, Axis::X);
}

// Random frames on `qubits` qubits, one word each.
circuit::PauliFrames random_frames(std::size_t qubits, std::mt19937_64& rng) {
  circuit::PauliFrames frames(qubits, 1);
  for (engine::Qubit q = 0; q < qubits; ++q) {
    frames.x_bits(q)[0] = rng();
    frames.z_bits(q)[0] = rng();
  }
  return frames;
}

TEST(FrameProducts, FlipsWhereAnOddNumberOfFactorsAnticommute) {
  std::mt19937_64 rng(3);
  const circuit::PauliFrames frames = random_frames(3, rng);
  const engine::PauliProduct product{{{0, Axis::X}, {1, Axis::Y}, {2, Axis::Z}}, false};
  std::vector<Word> flips(1);
  circuit::product_flips(frames, product, flips);
  for (unsigned frame = 0; frame < 64; ++frame) {
    const auto bit = [&](std::span<const Word> row) { return (row[0] >> frame) & 1U; };
    const unsigned odd = bit(frames.z_bits(0)) ^ (bit(frames.x_bits(1)) ^ bit(frames.z_bits(1))) ^
                         bit(frames.x_bits(2));
    EXPECT_EQ((flips[0] >> frame) & 1U, odd);
  }
  // After SPP the product's flips are unchanged: it commutes with itself.
  circuit::PauliFrames after = frames;
  std::vector<Word> scratch(1), again(1);
  circuit::apply_product_phase(after, product, scratch);
  circuit::product_flips(after, product, again);
  EXPECT_EQ(again, flips);
}

TEST(FrameProducts, PairCliffordsFromImagesMatchTheFramesOwnKernels) {
  std::mt19937_64 rng(5);
  circuit::PauliFrames by_images = random_frames(2, rng);
  circuit::PauliFrames by_kernel = by_images;
  // CX: X_a -> X_a X_b, Z_a -> Z_a, X_b -> X_b, Z_b -> Z_a Z_b; then SWAP.
  circuit::apply_pair_clifford(by_images, 0, 1, {1 | 4, 2, 4, 2 | 8});
  by_kernel.apply_controlled({Axis::Z, Axis::X}, 0, 1);
  circuit::apply_pair_clifford(by_images, 0, 1, {4, 8, 1, 2});
  by_kernel.swap(0, 1);
  for (engine::Qubit q = 0; q < 2; ++q) {
    EXPECT_EQ(by_images.x_bits(q)[0], by_kernel.x_bits(q)[0]);
    EXPECT_EQ(by_images.z_bits(q)[0], by_kernel.z_bits(q)[0]);
  }
}

}  // namespace
}  // namespace korvane::testing
