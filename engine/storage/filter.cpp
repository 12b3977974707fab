#include "engine/storage/filter.h"

#include <algorithm>

namespace kura {

using sql::FuncCode;
using sql::NodeClass;
using sql::OpCode;
using sql::TExpToken;
using sql::Value;

// A comparison of one field with constants that an index range can answer:
// the records in `ranges` (united), or for a negated form the records not
// in them. Whether a record whose field is null passes is decided by the
// evaluator's value rules, so that index use never changes a result.
struct TFilter::Leaf {
  int field = 0;
  int fieldType = 0;
  bool caseInsensitive = false;  // compares UPPER(f) with UPPER(c) or LOWER
  bool negated = false;
  std::vector<KeyRange> ranges;
  bool nullSatisfies = false;
};

namespace {

bool IsComparison(OpCode op) {
  return op == OpCode::kEq || op == OpCode::kNe || op == OpCode::kLt ||
         op == OpCode::kLe || op == OpCode::kGt || op == OpCode::kGe;
}

// "c < f" is "f > c".
OpCode Mirror(OpCode op) {
  switch (op) {
    case OpCode::kLt: return OpCode::kGt;
    case OpCode::kLe: return OpCode::kGe;
    case OpCode::kGt: return OpCode::kLt;
    case OpCode::kGe: return OpCode::kLe;
    default: return op;
  }
}

bool IsValueNode(const TExpToken* n) {
  return n && (n->nodeClass == NodeClass::kConstant || n->nodeClass == NodeClass::kParameter);
}

bool IsOwnColumn(const TExpToken* n) {
  return n && n->nodeClass == NodeClass::kColumn && !n->isStar && n->outerLevel == 0 &&
         n->fieldNumber > 0;
}

bool IsCaseFunction(const TExpToken* n) {
  return n && n->nodeClass == NodeClass::kFunction &&
         (n->func == FuncCode::kUpper || n->func == FuncCode::kLower) && n->args.size() == 1;
}

enum class TypeClass { kNumber, kText, kDate, kTime, kTimestamp, kBoolean, kOther };

TypeClass ClassOf(int type, int subType) {
  if (sql::IsNumericType(type)) return TypeClass::kNumber;
  if (sql::IsTextType(type, subType)) return TypeClass::kText;
  if (type == sql::kTypeDate) return TypeClass::kDate;
  if (type == sql::kTypeTime) return TypeClass::kTime;
  if (type == sql::kTypeTimestamp) return TypeClass::kTimestamp;
  if (type == sql::kTypeBoolean) return TypeClass::kBoolean;
  return TypeClass::kOther;
}

// A constant can be turned into a key of the field's type only when both
// are of the same kind; other comparisons are tested record by record.
bool KeyCompatible(const TExpToken& column, const Value& v) {
  if (v.null) return true;
  const TypeClass c = ClassOf(column.type, column.subType);
  return c != TypeClass::kOther && c == ClassOf(v.type, v.subType);
}

bool ContainsField(const TExpToken& node) {
  if (node.nodeClass == NodeClass::kColumn) return true;
  bool found = false;
  node.ForEachChild([&](const TExpToken& child) { found = found || ContainsField(child); });
  return found;
}

// Every field of the row is null (typed like the filtered column).
class NullRow final : public sql::RowAccessor {
 public:
  explicit NullRow(int type) : type_(type) {}
  Value FieldValue(int, int) const override { return Value::NullOf(type_); }

 private:
  int type_;
};

class NoRow final : public sql::RowAccessor {
 public:
  Value FieldValue(int, int) const override { return Value::Null(); }
};

// Nodes of the condition are evaluated with the pooled bitmaps of this size.
std::uint32_t Slots(FilterTable& t) { return t.SlotCount(); }

}  // namespace

TFilter::TFilter(FilterTable& table, const TExpToken& condition, FilterOptions options)
    : table_(table), condition_(&condition), options_(options) {
  Analyse(condition);
}

TFilter::TFilter(FilterTable& table, Callback callback)
    : table_(table), callback_(std::move(callback)) {}

TFilter::~TFilter() = default;

const FilterAnnotation* TFilter::AnnotationOf(const TExpToken& node) const {
  auto it = annotations_.find(&node);
  return it == annotations_.end() ? nullptr : &it->second;
}

// ---- analysis -------------------------------------------------------------------

std::optional<TFilter::Leaf> TFilter::MatchLeaf(const TExpToken& node) const {
  Leaf leaf;
  const TExpToken* column = nullptr;
  if (node.nodeClass == NodeClass::kBinary && IsComparison(node.op)) {
    OpCode op = node.op;
    const TExpToken* l = node.left.get();
    const TExpToken* r = node.right.get();
    if (IsCaseFunction(l) && IsCaseFunction(r) && l->func == r->func) {
      leaf.caseInsensitive = true;
      l = l->args[0].get();
      r = r->args[0].get();
    }
    const TExpToken* value = nullptr;
    if (IsOwnColumn(l) && IsValueNode(r)) {
      column = l;
      value = r;
    } else if (IsValueNode(l) && IsOwnColumn(r)) {
      column = r;
      value = l;
      op = Mirror(op);
    } else {
      return std::nullopt;
    }
    if (!KeyCompatible(*column, value->value)) return std::nullopt;
    if (leaf.caseInsensitive && ClassOf(column->type, column->subType) != TypeClass::kText)
      return std::nullopt;
    KeyRange range;
    range.low = value->value;
    if (value->value.null) {
      // "= NULL" and "<> NULL" are IS NULL and its negation; the ordering
      // operators against null are left to the record-by-record test.
      if (op != OpCode::kEq && op != OpCode::kNe) return std::nullopt;
      range.kind = KeyRangeKind::kIsNull;
      leaf.negated = op == OpCode::kNe;
    } else {
      switch (op) {
        case OpCode::kEq: range.kind = KeyRangeKind::kEqual; break;
        case OpCode::kNe: range.kind = KeyRangeKind::kEqual; leaf.negated = true; break;
        case OpCode::kLt: range.kind = KeyRangeKind::kLess; break;
        case OpCode::kLe: range.kind = KeyRangeKind::kLessEqual; break;
        case OpCode::kGt: range.kind = KeyRangeKind::kGreater; break;
        case OpCode::kGe: range.kind = KeyRangeKind::kGreaterEqual; break;
        default: return std::nullopt;
      }
    }
    leaf.ranges.push_back(range);
  } else if (node.nodeClass == NodeClass::kPredicate && IsOwnColumn(node.left.get())) {
    column = node.left.get();
    switch (node.op) {
      case OpCode::kIsNull:
      case OpCode::kIsNotNull:
        leaf.ranges.push_back({KeyRangeKind::kIsNull, {}, {}});
        leaf.negated = node.op == OpCode::kIsNotNull;
        break;
      case OpCode::kBetween:
      case OpCode::kNotBetween: {
        if (node.args.size() != 2 || !IsValueNode(node.args[0].get()) ||
            !IsValueNode(node.args[1].get()))
          return std::nullopt;
        const Value& lo = node.args[0]->value;
        const Value& hi = node.args[1]->value;
        if (lo.null || hi.null || !KeyCompatible(*column, lo) || !KeyCompatible(*column, hi))
          return std::nullopt;
        leaf.ranges.push_back({KeyRangeKind::kBetween, lo, hi});
        leaf.negated = node.op == OpCode::kNotBetween;
        break;
      }
      case OpCode::kIn:
      case OpCode::kNotIn: {
        if (node.args.empty()) return std::nullopt;
        leaf.ranges.reserve(node.args.size());
        for (const auto& a : node.args) {
          if (!IsValueNode(a.get()) || !KeyCompatible(*column, a->value)) return std::nullopt;
          if (a->value.null) {
            leaf.ranges.push_back({KeyRangeKind::kIsNull, {}, {}});
          } else {
            leaf.ranges.push_back({KeyRangeKind::kEqual, a->value, {}});
          }
        }
        leaf.negated = node.op == OpCode::kNotIn;
        break;
      }
      case OpCode::kLike:
      case OpCode::kNotLike: {
        // A pattern "abc%" is the prefix "abc"; any other wildcard, or a
        // "%" that is not the last character, needs the record test.
        const TExpToken* p = node.right.get();
        if (!IsValueNode(p) || p->value.null || !node.args.empty() ||
            ClassOf(column->type, column->subType) != TypeClass::kText)
          return std::nullopt;
        const std::string& pattern = p->value.text;
        if (pattern.size() < 2 || pattern.back() != '%') return std::nullopt;
        // The "%" must be a character of its own, not the second byte of a
        // double-byte one.
        if (sql::CharacterOffset(pattern, sql::CharacterCount(pattern, table_.Collation().CodePage()) - 1,
                                 table_.Collation().CodePage()) != pattern.size() - 1)
          return std::nullopt;
        const std::string prefix = pattern.substr(0, pattern.size() - 1);
        if (prefix.find_first_of("%_") != std::string::npos) return std::nullopt;
        leaf.ranges.push_back({KeyRangeKind::kPrefix, Value::String(prefix), {}});
        leaf.negated = node.op == OpCode::kNotLike;
        break;
      }
      default:
        return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  leaf.field = column->fieldNumber;
  leaf.fieldType = column->type;
  NullRow nullRow(column->type);
  leaf.nullSatisfies = sql::EvaluateCondition(node, nullRow, table_.Collation());
  return leaf;
}

std::optional<FilterIndex> TFilter::ChooseIndex(int field, bool caseInsensitive) {
  const bool text = table_.IsStringField(field);
  for (const FilterIndex& index : table_.Indexes()) {
    if (index.firstField != field) continue;
    if (text && index.caseInsensitive != caseInsensitive) continue;
    return index;
  }
  return std::nullopt;
}

void TFilter::AnalyseLeaf(const TExpToken& node, FilterAnnotation& a) {
  std::optional<Leaf> leaf = MatchLeaf(node);
  if (!leaf) return;
  std::optional<FilterIndex> index = ChooseIndex(leaf->field, leaf->caseInsensitive);
  if (!index) return;
  std::uint64_t estimate = 0;
  for (const KeyRange& r : leaf->ranges) estimate += table_.CountKeys(*index, r);
  a.level = 2;
  a.index = index;
  a.estimate = estimate;
  a.volume = estimate * index->keyLength;
  if (options_.breadthCheck &&
      estimate * 10 > static_cast<std::uint64_t>(table_.ActiveRecordCount()) * 9) {
    a.level = 0;
    a.tooBroad = true;
  }
  leaves_[&node] = std::make_unique<Leaf>(std::move(*leaf));
}

void TFilter::Analyse(const TExpToken& node) {
  FilterAnnotation a;
  if (node.nodeClass == NodeClass::kBinary && node.op == OpCode::kAnd) {
    Analyse(*node.left);
    Analyse(*node.right);
    FilterAnnotation& l = annotations_[node.left.get()];
    FilterAnnotation& r = annotations_[node.right.get()];
    // A too-broad comparison is used after all when the other operand of
    // the "AND" is resolvable: it then only narrows an index result.
    if (l.tooBroad && r.level > 0) l.level = 2;
    if (r.tooBroad && l.level > 0) r.level = 2;
    if (l.level == 2 && r.level == 2) a.level = 2;
    else if (l.level > 0 || r.level > 0) a.level = 1;
    a.rightFirst = r.level > l.level;
    a.estimate = std::min(l.level ? l.estimate : UINT64_MAX, r.level ? r.estimate : UINT64_MAX);
    if (a.level == 0) a.estimate = 0;
  } else if (node.nodeClass == NodeClass::kBinary && node.op == OpCode::kOr) {
    Analyse(*node.left);
    Analyse(*node.right);
    const FilterAnnotation& l = annotations_[node.left.get()];
    const FilterAnnotation& r = annotations_[node.right.get()];
    a.level = l.level == 2 && r.level == 2 ? 2 : 0;
    a.estimate = std::max(l.estimate, r.estimate);
  } else if (node.nodeClass == NodeClass::kUnary && node.left) {
    Analyse(*node.left);
    const FilterAnnotation& o = annotations_[node.left.get()];
    a.level = o.level;
    a.estimate = o.estimate;
    a.volume = o.volume;
  } else {
    AnalyseLeaf(node, a);
  }
  annotations_[&node] = a;
}

// ---- computing the bitmap ------------------------------------------------------------

void TFilter::Refresh(const TRecordsBitmap& base) {
  bitmap_.CopyFrom(base);
  bitmap_.Resize(Slots(table_));
  if (table_.SlotCount() == 0 || table_.ActiveRecordCount() == 0) {
    bitmap_.ClearAll();
    return;
  }
  if (callback_) {
    for (std::uint32_t n = bitmap_.NextSet(1); n != 0; n = bitmap_.NextSet(n + 1)) {
      if (!callback_(n, table_.ReadRecord(n))) bitmap_.Clear(n);
    }
    return;
  }
  EvaluateInto(*condition_, bitmap_);
}

void TFilter::EvaluateInto(const TExpToken& node, TRecordsBitmap& bitmap) {
  if (!ContainsField(node)) {
    NoRow none;
    if (!sql::EvaluateCondition(node, none, table_.Collation())) bitmap.ClearAll();
    return;
  }
  const FilterAnnotation* a = AnnotationOf(node);
  if (!options_.useIndexes || a == nullptr || a->level == 0) {
    TestEach(node, bitmap);
    return;
  }
  if (node.nodeClass == NodeClass::kBinary && node.op == OpCode::kAnd) {
    // The first operand narrows the set; the second is then computed (or
    // tested record by record) only on what is left.
    const TExpToken& first = a->rightFirst ? *node.right : *node.left;
    const TExpToken& second = a->rightFirst ? *node.left : *node.right;
    EvaluateInto(first, bitmap);
    if (bitmap.NextSet(1) != 0) EvaluateInto(second, bitmap);
    return;
  }
  if (node.nodeClass == NodeClass::kBinary && node.op == OpCode::kOr) {
    PooledBitmap other(bitmap.Size());
    other->CopyFrom(bitmap);
    EvaluateInto(*node.left, bitmap);
    EvaluateInto(*node.right, *other);
    bitmap.UniteWith(*other);
    return;
  }
  if (node.nodeClass == NodeClass::kUnary && node.op == OpCode::kNot) {
    PooledBitmap matches(bitmap.Size());
    matches->CopyFrom(bitmap);
    EvaluateInto(*node.left, *matches);
    matches->InvertAll();
    bitmap.IntersectWith(*matches);
    return;
  }
  if (leaves_.count(&node)) {
    EvaluateLeaf(node, *a, bitmap);
    return;
  }
  TestEach(node, bitmap);
}

void TFilter::EvaluateLeaf(const TExpToken& node, const FilterAnnotation& a,
                           TRecordsBitmap& bitmap) {
  // Reading the few records still in the set can be cheaper than walking
  // the keys of the range.
  const std::uint64_t setBytes =
      static_cast<std::uint64_t>(bitmap.Count()) * table_.RecordLength();
  if (setBytes < a.volume) {
    TestEach(node, bitmap);
    return;
  }
  const Leaf& leaf = *leaves_.at(&node);
  PooledBitmap matches(bitmap.Size());
  CollectLeaf(leaf, *a.index, *matches);
  // The ranges hold present values only (or only nulls); records whose
  // field is null pass exactly when the condition holds for a null.
  const bool rangesHoldNulls =
      std::any_of(leaf.ranges.begin(), leaf.ranges.end(),
                  [](const KeyRange& r) { return r.kind == KeyRangeKind::kIsNull; });
  const bool nullsPassNow = leaf.negated ? !rangesHoldNulls : rangesHoldNulls;
  if (nullsPassNow != leaf.nullSatisfies) {
    PooledBitmap nulls(bitmap.Size());
    table_.CollectKeys(*a.index, {KeyRangeKind::kIsNull, {}, {}}, *nulls);
    if (leaf.negated != leaf.nullSatisfies) {
      matches->UniteWith(*nulls);
    } else {
      nulls->InvertAll();
      matches->IntersectWith(*nulls);
    }
  }
  if (leaf.negated) {
    matches->InvertAll();
  }
  bitmap.IntersectWith(*matches);
}

void TFilter::CollectLeaf(const Leaf& leaf, const FilterIndex& index, TRecordsBitmap& matches) {
  const bool single = leaf.ranges.size() == 1;
  if (single && options_.allowComplement && !table_.HasLocale()) {
    const KeyRange& range = leaf.ranges[0];
    const std::uint64_t inRange = table_.CountKeys(index, range);
    const std::uint64_t active = table_.ActiveRecordCount();
    if (inRange * 2 > active) {
      table_.CollectOutside(index, range, matches);
      matches.InvertAll();
      PooledBitmap live(matches.Size());
      table_.MarkActiveRecords(*live);
      matches.IntersectWith(*live);
      return;
    }
  }
  for (const KeyRange& r : leaf.ranges) table_.CollectKeys(index, r, matches);
}

// Where the table hands out record images and the node compiles, the
// records are tested on their images in one pass; a record the compiled
// form cannot decide (an overflow) is tested by the evaluator.
void TFilter::TestEach(const TExpToken& node, TRecordsBitmap& bitmap) {
  if (const ImageCondition* compiled = CompiledFor(node)) {
    table_.FilterImages(bitmap, [&](std::uint32_t n, const std::uint8_t* image) {
      switch (compiled->Test(image)) {
        case ImageCondition::Outcome::kTrue: return true;
        case ImageCondition::Outcome::kFalse: return false;
        case ImageCondition::Outcome::kUnknown: break;
      }
      return TestOne(node, n);
    });
    return;
  }
  for (std::uint32_t n = bitmap.NextSet(1); n != 0; n = bitmap.NextSet(n + 1)) {
    if (!TestOne(node, n)) bitmap.Clear(n);
  }
}

const ImageCondition* TFilter::CompiledFor(const TExpToken& node) {
  const std::vector<TFieldDescriptor>* layout = table_.ImageLayout();
  if (layout == nullptr) return nullptr;
  auto it = compiled_.find(&node);
  if (it == compiled_.end()) it = compiled_.emplace(&node, ImageCondition::Compile(node, *layout)).first;
  return it->second ? &*it->second : nullptr;
}

bool TFilter::TestOne(const TExpToken& node, std::uint32_t recordNo) {
  return sql::EvaluateCondition(node, table_.ReadRecord(recordNo), table_.Collation());
}

void TFilter::TestRecord(std::uint32_t recordNo) {
  bitmap_.Set(recordNo);
  const bool passes = callback_ ? callback_(recordNo, table_.ReadRecord(recordNo))
                                : TestOne(*condition_, recordNo);
  if (!passes) bitmap_.Clear(recordNo);
}

}  // namespace kura
