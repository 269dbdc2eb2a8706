// The saved form and the graph builder: exact round trips, and every kind of bad input refused
// with InvalidInput, never a crash, an allocation the input does not back, or a broken register.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edge_toggles.h"
#include "graph_description.h"
#include "korvane/engine/base.h"
#include "korvane/engine/io/crc32.h"
#include "korvane/engine/io/graph_builder.h"
#include "korvane/engine/io/state_codec.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

engine::Register load(const Bytes& bytes) { return engine::load_state(bytes.data(), bytes.size()); }

// The message of the InvalidInput that loading `bytes` raises, or "" when it is accepted.
std::string refusal(const Bytes& bytes) {
  try {
    const engine::Register reg = load(bytes);
    EXPECT_EQ(invariant_violation(reg), "");
    return "";
  } catch (const engine::InvalidInput& error) {
    return error.what();
  }
}

// A saved form written by hand: mark, version, then `body`, then its checksum.
Bytes sealed(const Bytes& body, std::uint8_t version = 1) {
  Bytes bytes{'K', 'R', 'V', 'N', version};
  for (const std::uint8_t byte : body) bytes.push_back(byte);
  const std::uint32_t checksum = engine::crc32(bytes.data(), bytes.size());
  for (unsigned shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<std::uint8_t>(checksum >> shift));
  return bytes;
}

TEST(StateCodec, ChecksumIsTheCommonCrc32) {
  const std::string check = "123456789";
  EXPECT_EQ(engine::crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
            0xCBF43926U);
}

TEST(StateCodec, RoundTripIsExactInEveryStorage) {
  SeededSource random(21);
  for (const std::size_t n : {0, 1, 2, 7, 64, 65, 300}) {
    for (const engine::Storage storage : both_storages) {
      const engine::Register reg = random_register(random, n, 30, storage);
      const engine::Register loaded = load(engine::save_state(reg));
      ASSERT_TRUE(same_representation(loaded, reg)) << n << " qubits";
      ASSERT_EQ(invariant_violation(loaded), "");
    }
  }
}

TEST(StateCodec, KnownLayoutOfASmallRegister) {
  // Qubits 0-1 and 0-2 joined, VOPs 10, 0, 23: counts 2 (steps 1, 1), 0, 0.
  engine::Register reg(3, engine::Storage::sparse);
  testing::toggle_edge(reg, 2, 0);
  testing::toggle_edge(reg, 0, 1);
  reg.set_vop(1, 0);
  reg.set_vop(2, 23);
  EXPECT_EQ(engine::save_state(reg), sealed({3, 2, 10, 0, 23, 2, 1, 1, 0, 0}));
}

TEST(StateCodec, EveryTruncationAndEveryBitFlipIsRefused) {
  SeededSource random(22);
  const Bytes saved = engine::save_state(random_register(random, 12, 40, engine::Storage::sparse));
  for (std::size_t length = 0; length < saved.size(); ++length)
    ASSERT_NE(refusal(Bytes(saved.begin(), saved.begin() + length)), "") << length << " bytes";
  for (std::size_t bit = 0; bit < 8 * saved.size(); ++bit) {
    Bytes flipped = saved;
    flipped[bit / 8] ^= static_cast<std::uint8_t>(1U << (bit % 8));
    ASSERT_NE(refusal(flipped), "") << "bit " << bit;
  }
}

TEST(StateCodec, HostileFormsWithAGoodChecksumAreRefusedByWhatIsWrong) {
  const std::uint8_t h = 10;
  const struct {
    Bytes body;
    const char* expected;
  } cases[] = {
      // Sizes far beyond the data: refused before anything is allocated for them.
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0}, "qubits, more than its 18 bytes"},
      {{2, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, h, h, 0, 0}, "declares 4294967295 edges"},
      {{2, 0, h, h, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0}, "lists 4294967295 neighbours"},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}, "a number too large"},
      {{3, 0, h, 24, h, 0, 0, 0}, "qubit 1 has VOP 24"},
      {{3, 1, h, h, h, 1, 0, 0, 0}, "qubit 0 has an edge to itself"},
      {{3, 2, h, h, h, 2, 1, 0, 0, 0}, "qubit 0 lists neighbour 1 twice"},
      {{3, 1, h, h, h, 1, 3, 0, 0}, "beyond the last qubit"},
      {{3, 2, h, h, h, 1, 1, 0, 0, 0}, "declares 2 edges but lists 1"},
      {{3, 0, h, h, h, 0, 0, 0, 7}, "1 bytes left over"},
      {{3, 0, h, h, h, 0, 0}, "ends early"},
  };
  for (const auto& hostile : cases) {
    EXPECT_NE(refusal(sealed(hostile.body)).find(hostile.expected), std::string::npos)
        << hostile.expected << ": " << refusal(sealed(hostile.body));
  }
  EXPECT_NE(refusal(sealed({0, 0}, 2)).find("format version 2"), std::string::npos);
  Bytes unmarked = sealed({0, 0});
  unmarked[0] = 'k';
  EXPECT_NE(refusal(unmarked).find("mark"), std::string::npos);
}

TEST(GraphBuilder, BuildsTheGraphStateOfItsRowsWithTheirVops) {
  SeededSource random(23);
  const engine::Register reg = random_register(random, 9, 40, engine::Storage::sparse);
  const GraphDescription graph = describe_graph(reg);
  std::vector<std::int64_t> rows;
  for (const auto& [a, b] : graph.edges) {  // each edge in a random orientation
    const bool flip = random.below(2) == 1;
    rows.push_back(static_cast<std::int64_t>(flip ? b : a));
    rows.push_back(static_cast<std::int64_t>(flip ? a : b));
  }
  const std::vector<std::int64_t> vops(graph.vops.begin(), graph.vops.end());
  const engine::Register built =
      engine::register_from_graph(9, rows.data(), graph.edges.size(), vops.data());
  EXPECT_TRUE(same_representation(built, reg));
  const engine::Register bare = engine::register_from_graph(9, rows.data(), 0, nullptr);
  EXPECT_TRUE(StateVector::from_register(bare).equal_up_to_phase(
      StateVector::from_register(engine::register_from_graph(9, nullptr, 0, nullptr))));
  EXPECT_EQ(bare.vop(0), clifford::identity);
}

TEST(GraphBuilder, NamesTheFirstBadRow) {
  const auto message = [](const std::vector<std::int64_t>& rows, std::vector<std::int64_t> vops) {
    try {
      engine::register_from_graph(4, rows.data(), rows.size() / 2,
                                  vops.empty() ? nullptr : vops.data());
    } catch (const engine::InvalidInput& error) {
      return std::string(error.what());
    }
    return std::string();
  };
  EXPECT_EQ(message({0, 1, 1, 2, 4, 0, 3, 3}, {}),
            "edge row 2 (4, 0) names a qubit outside the register of 4 qubits");
  EXPECT_EQ(message({0, 1, -1, 2}, {}),
            "edge row 1 (-1, 2) names a qubit outside the register of 4 qubits");
  EXPECT_EQ(message({0, 1, 3, 3, 9, 9}, {}), "edge row 1 (3, 3) is a self-loop");
  EXPECT_EQ(message({0, 1, 1, 2, 2, 1}, {}), "edge row 2 (2, 1) repeats an earlier edge");
  // Registers past 64 qubits start with neighbour sets instead of a bit matrix.
  const std::vector<std::int64_t> repeated{70, 3, 5, 6, 3, 70};
  EXPECT_THROW(engine::register_from_graph(100, repeated.data(), 3, nullptr), engine::InvalidInput);
  EXPECT_EQ(message({0, 1}, {0, 23, 24, 0}), "vops[2] is 24, and VOPs are 0..23");
  EXPECT_EQ(message({0, 1}, {0, -1, 0, 0}), "vops[1] is -1, and VOPs are 0..23");
  EXPECT_EQ(message({0, 1}, {0, 30, -1, 24}), "vops[1] is 30, and VOPs are 0..23");
}

}  // namespace
}  // namespace korvane::testing
