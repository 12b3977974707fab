#include "engine/sql/join_key_table.h"

#include <cmath>
#include <cstdio>

#include "engine/expr/field_types.h"

namespace kura::sql {
namespace {

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

JoinKeyTable::JoinKeyTable(std::size_t rows) : next_(rows, kNone) {
  std::size_t capacity = 16;
  while (capacity < rows * 2) capacity *= 2;
  slots_.assign(capacity, Entry{});
}

bool JoinKeyTable::IntegralKey(const Value& v, std::int64_t* out) {
  if (v.null) return false;
  if (IsIntegerType(v.type)) {
    *out = v.integer;
    return true;
  }
  if (v.type != kTypeFloat && v.type != kTypeBcd) return false;
  const double d = v.real;
  if (std::nearbyint(d) != d || !(std::fabs(d) < 9.2e18)) return false;
  *out = static_cast<std::int64_t>(d);
  return true;
}

std::string JoinKeyTable::OtherKey(const Value& v) {
  if (v.null) return "n";
  if (v.type == kTypeFloat || v.type == kTypeBcd) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "f%a", v.real);
    return buf;
  }
  return "s" + v.text;
}

std::size_t JoinKeyTable::Slot(std::int64_t key) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = Mix(static_cast<std::uint64_t>(key)) & mask;
  while (slots_[s].head != kNone && slots_[s].key != key) s = (s + 1) & mask;
  return s;
}

void JoinKeyTable::Add(const Value& key, std::uint32_t row) {
  std::int64_t k = 0;
  std::uint32_t* head = nullptr;
  if (IntegralKey(key, &k)) {
    const std::size_t s = Slot(k);
    slots_[s].key = k;
    head = &slots_[s].head;
  } else {
    head = &others_.try_emplace(OtherKey(key), kNone).first->second;
  }
  next_[row] = *head;
  *head = row;
}

std::uint32_t JoinKeyTable::First(const Value& key) const {
  std::int64_t k = 0;
  if (IntegralKey(key, &k)) return slots_[Slot(k)].head;
  const auto it = others_.find(OtherKey(key));
  return it == others_.end() ? kNone : it->second;
}

}  // namespace kura::sql
