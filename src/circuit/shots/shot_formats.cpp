#include "shot_formats.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "../../engine/base.h"
#include "../text/number_text.h"

namespace korvane::circuit {
namespace {

struct NamedFormat {
  std::string_view name;
  ShotFormat format;
};

constexpr std::array<NamedFormat, 6> format_names{{
    {"01", ShotFormat::text01},
    {"b8", ShotFormat::b8},
    {"r8", ShotFormat::r8},
    {"hits", ShotFormat::hits},
    {"dets", ShotFormat::dets},
    {"ptb64", ShotFormat::ptb64},
}};

constexpr std::uint64_t ptb64_group = 64;
constexpr unsigned r8_longest_gap = 255;

bool bit_of(const std::uint8_t* row, std::uint64_t k) {
  return ((row[k >> 3U] >> (k & 7U)) & 1U) != 0;
}
void set_bit(std::uint8_t* row, std::uint64_t k) {
  row[k >> 3U] = static_cast<std::uint8_t>(row[k >> 3U] | (1U << (k & 7U)));
}

// Calls visit(k) for each 1-bit of the row, in order.
template <class Visit>
void for_each_one(const std::uint8_t* row, std::uint64_t bytes, Visit&& visit) {
  for (std::uint64_t b = 0; b < bytes; ++b) {
    for (unsigned byte = row[b]; byte != 0; byte &= byte - 1) {
      visit(8 * b + static_cast<unsigned>(std::countr_zero(byte)));
    }
  }
}

[[noreturn]] void refuse(std::uint64_t shot, const std::string& what) {
  throw engine::InvalidInput("shot " + std::to_string(shot) + ": " + what);
}

// The dets name of bit k: its kind letter and index within its kind.
std::pair<char, std::uint64_t> dets_name(const ShotLayout& layout, std::uint64_t k) {
  if (k < layout.measurements) return {'M', k};
  k -= layout.measurements;
  if (k < layout.detectors) return {'D', k};
  return {'L', k - layout.detectors};
}

void write_group_transposed(const ShotLayout& layout, const std::uint8_t* rows, std::string& out) {
  const std::uint64_t row_bytes = layout.row_bytes();
  for (std::uint64_t k = 0; k < layout.bits(); ++k) {
    std::uint64_t word = 0;
    for (std::uint64_t s = 0; s < ptb64_group; ++s) {
      word |= static_cast<std::uint64_t>(bit_of(rows + s * row_bytes, k)) << s;
    }
    for (unsigned byte = 0; byte < 8; ++byte)
      out.push_back(static_cast<char>((word >> (8 * byte)) & 0xFFU));
  }
}

void write_shot(ShotFormat format, const ShotLayout& layout, const std::uint8_t* row,
                std::string& out) {
  const std::uint64_t bits = layout.bits();
  const std::uint64_t row_bytes = layout.row_bytes();
  switch (format) {
    case ShotFormat::text01:
      for (std::uint64_t k = 0; k < bits; ++k) out.push_back(bit_of(row, k) ? '1' : '0');
      out.push_back('\n');
      return;
    case ShotFormat::b8:
      out.append(reinterpret_cast<const char*>(row), row_bytes);
      return;
    case ShotFormat::r8: {
      std::uint64_t previous = 0;  // the index after the last 1
      const auto gap_to = [&](std::uint64_t one) {
        std::uint64_t gap = one - previous;
        for (; gap >= r8_longest_gap; gap -= r8_longest_gap) out.push_back(static_cast<char>(0xFF));
        out.push_back(static_cast<char>(gap));
        previous = one + 1;
      };
      for_each_one(row, row_bytes, gap_to);
      gap_to(bits);
      return;
    }
    case ShotFormat::hits: {
      bool first = true;
      for_each_one(row, row_bytes, [&](std::uint64_t k) {
        if (!first) out.push_back(',');
        first = false;
        append_unsigned(out, k);
      });
      out.push_back('\n');
      return;
    }
    case ShotFormat::dets:
      out.append("shot");
      for_each_one(row, row_bytes, [&](std::uint64_t k) {
        const auto [letter, index] = dets_name(layout, k);
        out.push_back(' ');
        out.push_back(letter);
        append_unsigned(out, index);
      });
      out.push_back('\n');
      return;
    case ShotFormat::ptb64:
      return;
  }
}

class ShotReader {
 public:
  ShotReader(ShotFormat format, const ShotLayout& layout, std::string_view data)
      : format_(format), layout_(layout), data_(data), row_bytes_(layout.row_bytes()) {}

  ReadShots run() {
    switch (format_) {
      case ShotFormat::b8:
        read_b8();
        break;
      case ShotFormat::ptb64:
        read_ptb64();
        break;
      case ShotFormat::r8:
        while (position_ < data_.size()) read_r8_shot(start_shot());
        break;
      case ShotFormat::text01:
      case ShotFormat::hits:
      case ShotFormat::dets:
        while (position_ < data_.size()) read_line(start_shot());
        break;
    }
    return {std::move(rows_), shots_};
  }

 private:
  std::uint8_t* start_shot() {
    rows_.resize(rows_.size() + row_bytes_, 0);
    ++shots_;
    return rows_.data() + rows_.size() - row_bytes_;
  }
  std::uint64_t shot() const { return shots_ - 1; }

  void read_b8() {
    if (row_bytes_ == 0) return;
    if (data_.size() % row_bytes_ != 0) {
      refuse(data_.size() / row_bytes_,
             "the data ends inside the shot (" + std::to_string(data_.size()) +
                 " bytes are not a whole number of " + std::to_string(row_bytes_) + "-byte shots)");
    }
    rows_.assign(data_.begin(), data_.end());
    const auto used = static_cast<unsigned>(layout_.bits() % 8);
    if (used != 0) {
      const auto mask = static_cast<std::uint8_t>((1U << used) - 1);
      for (std::uint64_t end = row_bytes_; end <= rows_.size(); end += row_bytes_)
        rows_[end - 1] &= mask;
    }
    shots_ = rows_.size() / row_bytes_;
  }

  void read_ptb64() {
    const std::uint64_t bits = layout_.bits();
    if (bits == 0) return;
    const std::uint64_t group_bytes = 8 * bits;
    if (data_.size() % group_bytes != 0) {
      refuse(ptb64_group * (data_.size() / group_bytes),
             "the data ends inside a group of 64 shots (" + std::to_string(data_.size()) +
                 " bytes are not a whole number of " + std::to_string(group_bytes) +
                 "-byte groups)");
    }
    const std::uint64_t groups = data_.size() / group_bytes;
    rows_.assign(groups * ptb64_group * row_bytes_, 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data_.data());
    for (std::uint64_t g = 0; g < groups; ++g) {
      for (std::uint64_t k = 0; k < bits; ++k) {
        std::uint64_t word = 0;
        const std::uint8_t* little_endian = bytes + g * group_bytes + 8 * k;
        for (unsigned byte = 0; byte < 8; ++byte)
          word |= std::uint64_t{little_endian[byte]} << (8 * byte);
        for (; word != 0; word &= word - 1) {
          const auto s = static_cast<std::uint64_t>(std::countr_zero(word));
          set_bit(rows_.data() + (g * ptb64_group + s) * row_bytes_, k);
        }
      }
    }
    shots_ = groups * ptb64_group;
  }

  void read_r8_shot(std::uint8_t* row) {
    const std::uint64_t bits = layout_.bits();
    std::uint64_t next = 0;  // the index the next run starts at
    for (;;) {
      if (position_ == data_.size()) refuse(shot(), "the data ends inside the shot");
      const auto gap = static_cast<unsigned char>(data_[position_++]);
      next += gap;
      if (gap == r8_longest_gap) continue;
      if (next == bits) return;  // the extra 1 that ends the shot
      if (next > bits) {
        refuse(shot(), "a run reaches bit " + std::to_string(next) + " of a " +
                           std::to_string(bits) + "-bit shot");
      }
      set_bit(row, next++);
    }
  }

  std::string_view take_line() {
    const std::size_t end = data_.find('\n', position_);
    if (end == std::string_view::npos) refuse(shot(), "the last line has no final newline");
    const std::string_view line = data_.substr(position_, end - position_);
    position_ = end + 1;
    return line;
  }

  std::uint64_t parse_index(std::string_view digits, std::uint64_t limit,
                            std::string_view what) const {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    const bool is_index =
        !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    if (is_index && value < limit) return value;
    std::string message(1, '\'');
    message.append(what);
    message.append(is_index ? "' is beyond the " + std::to_string(limit) + " bits of its kind"
                            : "' is not an index");
    refuse(shot(), message);
  }

  void read_line(std::uint8_t* row) {
    const std::string_view line = take_line();
    const std::uint64_t bits = layout_.bits();
    if (format_ == ShotFormat::text01) {
      if (line.size() != bits) {
        refuse(shot(), "a line of " + std::to_string(line.size()) + " characters instead of " +
                           std::to_string(bits));
      }
      for (std::uint64_t k = 0; k < bits; ++k) {
        if (line[k] == '1') {
          set_bit(row, k);
        } else if (line[k] != '0') {
          refuse(shot(), "a character other than 0 and 1");
        }
      }
      return;
    }
    if (format_ == ShotFormat::hits) {
      for (std::size_t start = 0; start < line.size();) {
        const std::size_t comma = std::min(line.find(',', start), line.size());
        const std::string_view token = line.substr(start, comma - start);
        set_bit(row, parse_index(token, bits, token));
        start = comma + 1;
        if (comma + 1 == line.size()) refuse(shot(), "a trailing comma");
      }
      return;
    }
    if (line.substr(0, 4) != "shot") refuse(shot(), "a line that does not start with 'shot'");
    for (std::size_t start = 4; start < line.size();) {
      if (line[start] != ' ' || start + 1 == line.size() || line[start + 1] == ' ') {
        refuse(shot(), "tokens must be separated by single spaces");
      }
      const std::size_t end = std::min(line.find(' ', start + 1), line.size());
      const std::string_view token = line.substr(start + 1, end - start - 1);
      std::uint64_t offset = 0, limit = 0;
      if (token[0] == 'M') {
        limit = layout_.measurements;
      } else if (token[0] == 'D') {
        offset = layout_.measurements;
        limit = layout_.detectors;
      } else if (token[0] == 'L') {
        offset = layout_.measurements + layout_.detectors;
        limit = layout_.observables;
      } else {
        refuse(shot(), std::string(token).append(" is not M<k>, D<k> or L<k>"));
      }
      set_bit(row, offset + parse_index(token.substr(1), limit, token));
      start = end;
    }
  }

  ShotFormat format_;
  ShotLayout layout_;
  std::string_view data_;
  std::uint64_t row_bytes_;
  std::size_t position_ = 0;
  std::uint64_t shots_ = 0;
  std::vector<std::uint8_t> rows_;
};

}  // namespace

std::optional<ShotFormat> shot_format_named(std::string_view name) {
  for (const NamedFormat& entry : format_names) {
    if (entry.name == name) return entry.format;
  }
  return std::nullopt;
}

void write_shots(ShotFormat format, const ShotLayout& layout, const std::uint8_t* rows,
                 std::uint64_t shots, std::string& out) {
  const std::uint64_t row_bytes = layout.row_bytes();
  if (format == ShotFormat::ptb64) {
    if (shots % ptb64_group != 0) {
      throw engine::InvalidInput("ptb64 writes whole groups of 64 shots, not " +
                                 std::to_string(shots));
    }
    for (std::uint64_t s = 0; s < shots; s += ptb64_group) {
      write_group_transposed(layout, rows + s * row_bytes, out);
    }
    return;
  }
  for (std::uint64_t s = 0; s < shots; ++s) write_shot(format, layout, rows + s * row_bytes, out);
}

ReadShots read_shots(ShotFormat format, const ShotLayout& layout, std::string_view data) {
  return ShotReader(format, layout, data).run();
}

}  // namespace korvane::circuit
