#include "library/sgf_tree.h"

namespace sorabeku {

namespace {
constexpr int kBoardSize = 19;
}

std::string DescribePlace(const SgfPlace& place) {
  return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column);
}

const SgfProperty* SgfNode::Find(std::string_view id) const {
  for (const SgfProperty& p : properties) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

std::string SgfNode::Value(std::string_view id) const {
  const SgfProperty* p = Find(id);
  return p == nullptr ? std::string() : p->values.front();
}

SgfNode& SgfNode::Add(std::string id, std::vector<std::string> values) {
  properties.push_back({std::move(id), std::move(values), {}});
  return *this;
}

std::string SgfPoint(int pointIndex) {
  const int column = (pointIndex - 1) / kBoardSize;
  const int row = (pointIndex - 1) % kBoardSize;
  return {static_cast<char>('a' + column), static_cast<char>('a' + row)};
}

int PointFromSgf(std::string_view letters) {
  if (letters.size() != 2) return 0;
  const int column = letters[0] - 'a';
  const int row = letters[1] - 'a';
  if (column < 0 || column >= kBoardSize || row < 0 || row >= kBoardSize) return 0;
  return column * kBoardSize + row + 1;
}

}  // namespace sorabeku
