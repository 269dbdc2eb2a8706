#include "state_codec.h"

#include <algorithm>
#include <array>
#include <string>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "crc32.h"
#include "sorted_edges.h"

namespace korvane::engine {
namespace {

constexpr std::array<std::uint8_t, 4> mark{'K', 'R', 'V', 'N'};
constexpr std::size_t checksum_bytes = 4;
constexpr std::size_t header_bytes = mark.size() + 1;
// A 64-bit varint takes at most ten bytes.
constexpr std::size_t longest_varint = 10;

void put_varint(std::vector<std::uint8_t>& out, std::uint64_t value) {
  while (value >= 0x80U) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80U));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

[[noreturn]] void refuse(const std::string& why) {
  throw InvalidInput("not a valid saved korvane register: " + why);
}

std::string qubit_text(Qubit q) { return "qubit " + std::to_string(q); }

// Reads the body (between the version byte and the checksum) front to back.
class BodyReader {
 public:
  BodyReader(const std::uint8_t* begin, const std::uint8_t* end) : next_(begin), end_(end) {}

  std::size_t remaining() const { return static_cast<std::size_t>(end_ - next_); }

  std::uint64_t varint() {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < longest_varint; ++i) {
      if (next_ == end_) refuse("it ends early");
      const std::uint8_t byte = *next_++;
      const unsigned shift = 7 * static_cast<unsigned>(i);
      // The tenth byte holds only the top bit of a 64-bit value.
      if (i + 1 == longest_varint && byte > 1) refuse("it holds a number too large");
      value |= std::uint64_t{byte & 0x7FU} << shift;
      if ((byte & 0x80U) == 0) return value;
    }
    refuse("it holds a number too large");
  }

  const std::uint8_t* take(std::size_t count) {
    const std::uint8_t* taken = next_;
    next_ += count;
    return taken;
  }

 private:
  const std::uint8_t* next_;
  const std::uint8_t* end_;
};

std::uint32_t read_little_endian(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

void check_frame(const std::uint8_t* data, std::size_t size) {
  if (size < header_bytes + checksum_bytes || !std::equal(mark.begin(), mark.end(), data)) {
    refuse("it does not start with the mark \"KRVN\"");
  }
  if (data[mark.size()] != saved_state_version) {
    refuse("it has format version " + std::to_string(data[mark.size()]) +
           ", and this korvane reads version " + std::to_string(saved_state_version));
  }
  const std::size_t checked = size - checksum_bytes;
  if (crc32(data, checked) != read_little_endian(data + checked)) {
    refuse("its checksum does not match (the data is damaged)");
  }
}

// Adds the edges from a to its neighbours above it, checking each.
void read_upper_neighbors(BodyReader& body, Register& reg, Qubit a, std::size_t& edges_left) {
  const std::size_t qubits = reg.size();
  const std::uint64_t count = body.varint();
  // Each neighbour takes a byte at least, and there are qubits - 1 - a qubits above a.
  if (count > edges_left || count > body.remaining() || count > qubits - 1 - a) {
    refuse(qubit_text(a) + " lists " + std::to_string(count) +
           " neighbours above it, more than the data or the register can hold");
  }
  edges_left -= count;
  Qubit previous = a;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t step = body.varint();
    if (step == 0) {
      refuse(i == 0 ? qubit_text(a) + " has an edge to itself"
                    : qubit_text(a) + " lists neighbour " + std::to_string(previous) + " twice");
    }
    if (step > qubits - 1 - previous) {
      refuse(qubit_text(a) + " lists a neighbour beyond the last qubit, " +
             std::to_string(qubits - 1));
    }
    previous += step;
    // Steps of at least 1 keep the entries of a distinct, and each edge is listed from its
    // smaller end only, so the edge is new.
    reg.add_edge_if_absent(a, previous);
  }
}

}  // namespace

std::vector<std::uint8_t> save_state(const Register& reg) {
  const std::size_t qubits = reg.size();
  const std::size_t edges = reg.edge_count();
  std::vector<std::uint8_t> out;
  out.reserve(header_bytes + 2 * longest_varint + 2 * qubits + 2 * edges + checksum_bytes);
  for (const std::uint8_t byte : mark) out.push_back(byte);
  out.push_back(saved_state_version);
  put_varint(out, qubits);
  put_varint(out, edges);
  for (Qubit q = 0; q < qubits; ++q) out.push_back(reg.vop(q));
  Qubit next_without = 0;  // qubits before this one have had their count written
  for_each_upper_neighborhood(reg, [&](Qubit a, const std::vector<Qubit>& upper) {
    out.insert(out.end(), a - next_without, std::uint8_t{0});
    put_varint(out, upper.size());
    Qubit previous = a;
    for (const Qubit b : upper) {
      put_varint(out, b - previous);
      previous = b;
    }
    next_without = a + 1;
  });
  out.insert(out.end(), qubits - next_without, std::uint8_t{0});
  const std::uint32_t checksum = crc32(out.data(), out.size());
  for (unsigned shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(checksum >> shift));
  }
  return out;
}

Register load_state(const std::uint8_t* data, std::size_t size) {
  check_frame(data, size);
  BodyReader body(data + header_bytes, data + size - checksum_bytes);
  const std::uint64_t qubits = body.varint();
  // Every qubit takes a byte for its VOP and one for its neighbour count.
  if (qubits > body.remaining() / 2) {
    refuse("it declares " + std::to_string(qubits) + " qubits, more than its " +
           std::to_string(size) + " bytes can hold");
  }
  const std::uint64_t edges = body.varint();
  if (body.remaining() < 2 * qubits) refuse("it ends early");
  if (edges > body.remaining() - 2 * qubits) {
    refuse("it declares " + std::to_string(edges) + " edges, more than its " +
           std::to_string(size) + " bytes can hold");
  }
  Register reg(qubits);
  const std::uint8_t* const vops = body.take(qubits);
  for (Qubit q = 0; q < qubits; ++q) {
    if (vops[q] >= clifford::vop_count) {
      refuse(qubit_text(q) + " has VOP " + std::to_string(vops[q]) + ", and VOPs are 0..23");
    }
    reg.set_vop(q, vops[q]);
  }
  std::size_t edges_left = edges;
  for (Qubit a = 0; a < qubits; ++a) read_upper_neighbors(body, reg, a, edges_left);
  if (edges_left != 0) {
    refuse("it declares " + std::to_string(edges) + " edges but lists " +
           std::to_string(edges - edges_left));
  }
  if (body.remaining() != 0) {
    refuse("it has " + std::to_string(body.remaining()) + " bytes left over after its edges");
  }
  reg.settle_storage();
  return reg;
}

}  // namespace korvane::engine
