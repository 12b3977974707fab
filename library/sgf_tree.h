// The game trees of an SGF file as the parser hands them out and the
// writer takes them: nodes with their properties in file order, each node
// owning its children (the first child is the main line, later ones are
// variations in file order).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sorabeku {

// Where something starts in the file, both counted from 1 (columns in
// bytes). A place of 0:0 means "not from a file".
struct SgfPlace {
  int line = 0;
  int column = 0;
};

// "line 3, column 14": how messages name a place.
std::string DescribePlace(const SgfPlace& place);

struct SgfProperty {
  std::string id;                   // upper-case letters, e.g. "AB"
  std::vector<std::string> values;  // escapes removed, at least one
  SgfPlace place{};
};

struct SgfNode {
  std::vector<SgfProperty> properties;
  std::vector<SgfNode> children;
  SgfPlace place{};

  // The property of that identifier, or nullptr.
  const SgfProperty* Find(std::string_view id) const;
  bool Has(std::string_view id) const { return Find(id) != nullptr; }
  // The first value of that property, or "" when it is absent.
  std::string Value(std::string_view id) const;
  // Adds a property with one or more values (the writer's side).
  SgfNode& Add(std::string id, std::vector<std::string> values);
  SgfNode& Add(std::string id, std::string value) {
    return Add(std::move(id), std::vector<std::string>{std::move(value)});
  }
};

// A collection: the root nodes of its game trees in file order.
using SgfCollection = std::vector<SgfNode>;

// A point of the 19×19 board as SGF writes it: two letters "a".."s",
// column from the left, then row from the top.
std::string SgfPoint(int pointIndex);
// The PointIndex (1..361) of two letters, or 0 when they name no point of
// a 19×19 board (a pass "tt" or "" included).
int PointFromSgf(std::string_view letters);

}  // namespace sorabeku
