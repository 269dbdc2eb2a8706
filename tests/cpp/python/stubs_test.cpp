// The type stubs against the gate table: the gate methods of class Korvane in korvane.pyi are the
// ones the table gives. KORVANE_WRITE_STUBS=1 rewrites them from the table instead of checking.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "korvane/python/gate_signatures.h"

namespace korvane::testing {
namespace {

constexpr const char* stub_path = KORVANE_SOURCE_DIR "/src/python/korvane.pyi";
constexpr const char* first_marker =
    "    # Generated from the gate table (src/circuit/gates/gate_table.h); a C++ test keeps it "
    "current.\n";
constexpr const char* last_marker = "    # End of the methods generated from the gate table.\n";

TEST(Stubs, GateMethodsAreThoseOfTheGateTable) {
  std::ifstream in(stub_path);
  ASSERT_TRUE(in) << stub_path;
  std::stringstream contents;
  contents << in.rdbuf();
  std::string stubs = contents.str();
  const std::size_t first = stubs.find(first_marker);
  const std::size_t last = stubs.find(last_marker);
  ASSERT_NE(first, std::string::npos) << "no start marker in " << stub_path;
  ASSERT_NE(last, std::string::npos) << "no end marker in " << stub_path;
  const std::size_t begin = first + std::string(first_marker).size();
  const std::string generated = python::gate_method_stubs();
  if (std::getenv("KORVANE_WRITE_STUBS") != nullptr) {
    stubs.replace(begin, last - begin, generated);
    std::ofstream(stub_path) << stubs;
    return;
  }
  EXPECT_EQ(stubs.substr(begin, last - begin), generated)
      << "korvane.pyi is behind the gate table: run this test with KORVANE_WRITE_STUBS=1";
}

}  // namespace
}  // namespace korvane::testing
