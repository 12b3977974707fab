#include "training/progress/problem_fingerprint.h"

#include <cstdint>
#include <cstdio>

namespace sorabeku::progress {

namespace {

constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;
constexpr std::uint64_t kPrime = 1099511628211ull;

void Mix(std::uint64_t& h, unsigned char byte) {
  h ^= byte;
  h *= kPrime;
}

void MixInt(std::uint64_t& h, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) Mix(h, static_cast<unsigned char>(u >> shift));
}

void MixText(std::uint64_t& h, const std::string& text) {
  MixInt(h, static_cast<std::int32_t>(text.size()));  // "ab"+"c" differs from "a"+"bc"
  for (char c : text) Mix(h, static_cast<unsigned char>(c));
}

}  // namespace

std::string ProblemFingerprint(const std::vector<ProblemRow>& rows) {
  std::uint64_t h = kOffsetBasis;
  MixInt(h, static_cast<std::int32_t>(rows.size()));
  for (const ProblemRow& row : rows) {
    for (int v : {row.tes, row.col, row.pst, row.bfr, row.bto}) MixInt(h, v);
    MixText(h, row.cmt);
    MixInt(h, row.dix);
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

}  // namespace sorabeku::progress
