#include "library/sgf_parser.h"

#include <utility>

namespace sorabeku {

namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") Advance(3);
  }

  SgfCollection Collection() {
    SgfCollection trees;
    SkipSpace();
    if (AtEnd()) Fail("the file holds no game tree");
    while (!AtEnd()) {
      if (Peek() != '(') Fail("text outside a game tree");
      trees.push_back(GameTree(0));
      SkipSpace();
    }
    return trees;
  }

 private:
  // "(" Sequence GameTree* ")": the first node of the tree, owning the
  // rest of the sequence and the sub-trees as its descendants.
  SgfNode GameTree(int depth) {
    const SgfPlace open = Here();
    Advance(1);  // "("
    SkipSpace();
    std::vector<SgfNode> sequence;
    while (!AtEnd() && Peek() == ';') {
      if (depth + static_cast<int>(sequence.size()) >= kSgfMaxDepth) {
        Fail("the game tree is deeper than " + std::to_string(kSgfMaxDepth) + " nodes");
      }
      sequence.push_back(Node());
      SkipSpace();
    }
    if (sequence.empty()) Fail("a game tree must start with a node (\";\")");
    const int below = depth + static_cast<int>(sequence.size());
    std::vector<SgfNode> variations;
    while (!AtEnd() && Peek() == '(') {
      variations.push_back(GameTree(below));
      SkipSpace();
    }
    if (AtEnd()) throw SgfError(open, "the game tree opened here is not closed");
    if (Peek() != ')') Fail("unexpected character '" + std::string(1, Peek()) + "'");
    Advance(1);
    sequence.back().children = std::move(variations);
    for (std::size_t i = sequence.size() - 1; i > 0; --i) {
      sequence[i - 1].children.push_back(std::move(sequence[i]));
    }
    return std::move(sequence.front());
  }

  SgfNode Node() {
    SgfNode node;
    node.place = Here();
    Advance(1);  // ";"
    SkipSpace();
    while (!AtEnd() && (IsUpper(Peek()) || IsLower(Peek()))) {
      SgfProperty p;
      p.place = Here();
      while (!AtEnd() && (IsUpper(Peek()) || IsLower(Peek()))) {
        if (IsUpper(Peek())) p.id += Peek();
        Advance(1);
      }
      if (p.id.empty()) throw SgfError(p.place, "a property name needs capital letters");
      if (node.Has(p.id)) throw SgfError(p.place, "property " + p.id + " appears twice in one node");
      SkipSpace();
      while (!AtEnd() && Peek() == '[') {
        p.values.push_back(Value());
        SkipSpace();
      }
      if (p.values.empty()) throw SgfError(p.place, "property " + p.id + " has no value");
      node.properties.push_back(std::move(p));
    }
    return node;
  }

  // "[" ... "]": "\" takes the next character literally; "\" before a line
  // break removes both (a soft line break).
  std::string Value() {
    const SgfPlace open = Here();
    Advance(1);  // "["
    std::string value;
    while (!AtEnd() && Peek() != ']') {
      if (Peek() == '\\') {
        Advance(1);
        if (AtEnd()) break;
        if (Peek() == '\n' || Peek() == '\r') {
          const char first = Peek();
          Advance(1);
          if (!AtEnd() && (Peek() == '\n' || Peek() == '\r') && Peek() != first) Advance(1);
          continue;
        }
      }
      value += Peek();
      Advance(1);
    }
    if (AtEnd()) throw SgfError(open, "the value opened here is not closed (\"]\" missing)");
    Advance(1);
    return value;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  SgfPlace Here() const { return {line_, column_}; }
  [[noreturn]] void Fail(const std::string& what) const { throw SgfError(Here(), what); }

  void SkipSpace() {
    while (!AtEnd() && IsSpace(Peek())) Advance(1);
  }

  // Moves on `n` bytes, counting lines: "\n" ends one, and so does a
  // "\r" that no "\n" follows.
  void Advance(std::size_t n) {
    for (; n > 0 && !AtEnd(); --n) {
      const char c = text_[pos_++];
      const bool endsLine = c == '\n' || (c == '\r' && (AtEnd() || text_[pos_] != '\n'));
      if (endsLine) {
        ++line_;
        column_ = 1;
      } else if (c != '\r') {
        ++column_;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
};

}  // namespace

SgfCollection ParseSgf(std::string_view text) { return Parser(text).Collection(); }

}  // namespace sorabeku
