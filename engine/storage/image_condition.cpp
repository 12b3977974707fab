#include "engine/storage/image_condition.h"

#include <limits>

#include "engine/storage/coding.h"

namespace kura {

using sql::NodeClass;
using sql::OpCode;
using sql::TExpToken;

namespace {

// Fields whose values the evaluator sees as plain whole numbers.
bool IsWholeNumberField(const TFieldDescriptor& f) {
  if (!f.HasSlot()) return false;
  return f.type == kFieldSmallInt || f.type == kFieldInteger || f.type == kFieldWord ||
         f.type == kFieldLargeInt;
}

std::int64_t StoredNumber(const std::uint8_t* v, int type) {
  switch (type) {
    case kFieldSmallInt: return GetInt16LE(v);
    case kFieldWord: return GetFixed16LE(v);
    case kFieldInteger: return GetInt32LE(v);
    default: return GetInt64LE(v);
  }
}

}  // namespace

std::optional<ImageCondition> ImageCondition::Compile(const TExpToken& condition,
                                                      const std::vector<TFieldDescriptor>& fields) {
  ImageCondition c;
  c.root_ = c.AddTruth(condition, fields);
  if (c.root_ < 0) return std::nullopt;
  return c;
}

int ImageCondition::Push(Node node) {
  nodes_.push_back(node);
  return static_cast<int>(nodes_.size()) - 1;
}

int ImageCondition::AddNumber(const TExpToken& n, const std::vector<TFieldDescriptor>& fields) {
  switch (n.nodeClass) {
    case NodeClass::kColumn: {
      if (n.isStar || n.outerLevel != 0 || n.fieldNumber < 1 ||
          n.fieldNumber > static_cast<int>(fields.size()))
        return -1;
      const TFieldDescriptor& f = fields[static_cast<std::size_t>(n.fieldNumber - 1)];
      if (!IsWholeNumberField(f)) return -1;
      Node node{Kind::kField};
      node.offset = f.offset;
      node.fieldType = f.type;
      return Push(node);
    }
    case NodeClass::kConstant:
    case NodeClass::kParameter: {
      if (n.value.null || !sql::IsIntegerType(n.value.type)) return -1;
      Node node{Kind::kConstant};
      node.constant = n.value.integer;
      return Push(node);
    }
    case NodeClass::kUnary: {
      if (!n.left || (n.op != OpCode::kNegate && n.op != OpCode::kPlus)) return -1;
      const int operand = AddNumber(*n.left, fields);
      if (operand < 0 || n.op == OpCode::kPlus) return operand;
      return Push({Kind::kNegate, operand});
    }
    case NodeClass::kBinary: {
      Kind kind;
      switch (n.op) {
        case OpCode::kAdd: kind = Kind::kAdd; break;
        case OpCode::kSubtract: kind = Kind::kSubtract; break;
        case OpCode::kMultiply: kind = Kind::kMultiply; break;
        default: return -1;
      }
      // A "+" typed as text is a concatenation.
      if (n.type == sql::kTypeString || !n.left || !n.right) return -1;
      const int l = AddNumber(*n.left, fields);
      const int r = l < 0 ? -1 : AddNumber(*n.right, fields);
      if (r < 0) return -1;
      return Push({kind, l, r});
    }
    default:
      return -1;
  }
}

int ImageCondition::AddTruth(const TExpToken& n, const std::vector<TFieldDescriptor>& fields) {
  if (n.nodeClass == NodeClass::kUnary && n.op == OpCode::kNot && n.left) {
    const int operand = AddTruth(*n.left, fields);
    return operand < 0 ? -1 : Push({Kind::kNot, operand});
  }
  if (n.nodeClass == NodeClass::kPredicate &&
      (n.op == OpCode::kIsNull || n.op == OpCode::kIsNotNull) && n.left) {
    const int operand = AddNumber(*n.left, fields);
    if (operand < 0) return -1;
    return Push({n.op == OpCode::kIsNull ? Kind::kIsNull : Kind::kIsNotNull, operand});
  }
  if (n.nodeClass != NodeClass::kBinary || !n.left || !n.right) return -1;
  Kind kind;
  bool logical = false;
  switch (n.op) {
    case OpCode::kAnd: kind = Kind::kAnd; logical = true; break;
    case OpCode::kOr: kind = Kind::kOr; logical = true; break;
    case OpCode::kEq: kind = Kind::kEq; break;
    case OpCode::kNe: kind = Kind::kNe; break;
    case OpCode::kLt: kind = Kind::kLt; break;
    case OpCode::kLe: kind = Kind::kLe; break;
    case OpCode::kGt: kind = Kind::kGt; break;
    case OpCode::kGe: kind = Kind::kGe; break;
    default: return -1;
  }
  const int l = logical ? AddTruth(*n.left, fields) : AddNumber(*n.left, fields);
  if (l < 0) return -1;
  const int r = logical ? AddTruth(*n.right, fields) : AddNumber(*n.right, fields);
  if (r < 0) return -1;
  return Push({kind, l, r});
}

// Fields and constants are read in place; only operators recurse.
inline bool ImageCondition::Operand(int i, const std::uint8_t* image, Number* out) const {
  const Node& n = nodes_[static_cast<std::size_t>(i)];
  if (n.kind == Kind::kField) {
    out->null = image[n.offset] == 0;
    out->value = out->null ? 0 : StoredNumber(image + n.offset + 1, n.fieldType);
    return true;
  }
  if (n.kind == Kind::kConstant) {
    *out = {n.constant, false};
    return true;
  }
  return Evaluate(i, image, out);
}

bool ImageCondition::Evaluate(int i, const std::uint8_t* image, Number* out) const {
  const Node& n = nodes_[static_cast<std::size_t>(i)];
  // Null operands give null; a result beyond 64 bits is the evaluator's
  // floating-point case, left to it.
  switch (n.kind) {
    case Kind::kField:
      out->null = image[n.offset] == 0;
      out->value = out->null ? 0 : StoredNumber(image + n.offset + 1, n.fieldType);
      return true;
    case Kind::kConstant:
      *out = {n.constant, false};
      return true;
    case Kind::kNegate:
      if (!Evaluate(n.left, image, out)) return false;
      if (out->null) return true;
      if (out->value == std::numeric_limits<std::int64_t>::min()) return false;
      out->value = -out->value;
      return true;
    default: break;
  }
  Number a, b;
  if (!Operand(n.left, image, &a) || !Operand(n.right, image, &b)) return false;
  if (a.null || b.null) {
    *out = {0, true};
    return true;
  }
  out->null = false;
  switch (n.kind) {
    case Kind::kAdd: return !__builtin_add_overflow(a.value, b.value, &out->value);
    case Kind::kSubtract: return !__builtin_sub_overflow(a.value, b.value, &out->value);
    default: return !__builtin_mul_overflow(a.value, b.value, &out->value);
  }
}

int ImageCondition::Truth(int i, const std::uint8_t* image) const {
  const Node& n = nodes_[static_cast<std::size_t>(i)];
  switch (n.kind) {
    case Kind::kAnd: {
      // The right operand decides first, as in the evaluator.
      const int r = Truth(n.right, image);
      return r != 1 ? r : Truth(n.left, image);
    }
    case Kind::kOr: {
      const int r = Truth(n.right, image);
      return r != 0 ? r : Truth(n.left, image);
    }
    case Kind::kNot: {
      const int t = Truth(n.left, image);
      return t < 0 ? t : 1 - t;
    }
    case Kind::kIsNull:
    case Kind::kIsNotNull: {
      Number a;
      if (!Operand(n.left, image, &a)) return -1;
      return a.null == (n.kind == Kind::kIsNull) ? 1 : 0;
    }
    default: break;
  }
  Number a, b;
  if (!Operand(n.left, image, &a) || !Operand(n.right, image, &b)) return -1;
  if (a.null || b.null) {
    // Nulls of numbers: equal to each other only, never less or greater.
    const bool both = a.null && b.null;
    switch (n.kind) {
      case Kind::kNe: return both ? 0 : 1;
      case Kind::kEq:
      case Kind::kLe:
      case Kind::kGe: return both ? 1 : 0;
      default: return 0;
    }
  }
  switch (n.kind) {
    case Kind::kEq: return a.value == b.value;
    case Kind::kNe: return a.value != b.value;
    case Kind::kLt: return a.value < b.value;
    case Kind::kLe: return a.value <= b.value;
    case Kind::kGt: return a.value > b.value;
    default: return a.value >= b.value;
  }
}

ImageCondition::Outcome ImageCondition::Test(const std::uint8_t* image) const {
  switch (Truth(root_, image)) {
    case 0: return Outcome::kFalse;
    case 1: return Outcome::kTrue;
    default: return Outcome::kUnknown;
  }
}

}  // namespace kura
