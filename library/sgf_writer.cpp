#include "library/sgf_writer.h"

namespace sorabeku {

namespace {

void WriteNode(const SgfNode& node, std::string& out) {
  out += ';';
  for (const SgfProperty& p : node.properties) {
    out += p.id;
    for (const std::string& v : p.values) {
      out += '[';
      out += EscapeSgfValue(v);
      out += ']';
    }
  }
}

// A node and everything below it. A chain of single children stays in one
// sequence; two or more children each become a variation. Every node but
// the first of a tree starts a new line. The walk along a chain is a loop,
// so only variations nest the recursion.
void WriteFrom(const SgfNode& first, std::string& out) {
  const SgfNode* node = &first;
  WriteNode(*node, out);
  while (node->children.size() == 1) {
    node = &node->children.front();
    out += '\n';
    WriteNode(*node, out);
  }
  if (node->children.size() < 2) return;
  for (const SgfNode& child : node->children) {
    out += "\n(";
    WriteFrom(child, out);
    out += ')';
  }
}

}  // namespace

std::string EscapeSgfValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\' || c == ']') out += '\\';
    out += c;
  }
  return out;
}

std::string WriteSgf(const SgfCollection& trees) {
  std::string out;
  for (const SgfNode& root : trees) {
    out += '(';
    WriteFrom(root, out);
    out += ")\n";
  }
  return out;
}

}  // namespace sorabeku
