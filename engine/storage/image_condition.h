// ImageCondition: a condition over whole-number fields compiled once into a
// small node array that is tested on raw record images, without building a
// value per field. It covers what full scans meet most: comparisons of
// sums, differences and products of integer fields and constants, joined by
// AND, OR and NOT, and IS [NOT] NULL. Any other condition does not compile,
// and a record whose arithmetic would overflow 64 bits answers kUnknown:
// the caller then tests that record with the expression evaluator, so the
// answer is always the evaluator's.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/expr/exp_token.h"
#include "engine/storage/record_file_format.h"

namespace kura {

class ImageCondition {
 public:
  enum class Outcome { kFalse, kTrue, kUnknown };

  // The compiled form of `condition` (resolved and with its parameters
  // bound) over records laid out by `fields`, or nullopt when it uses
  // anything beyond the forms above.
  static std::optional<ImageCondition> Compile(const sql::TExpToken& condition,
                                               const std::vector<TFieldDescriptor>& fields);

  // The condition for one record image (the table's record length).
  Outcome Test(const std::uint8_t* image) const;

 private:
  enum class Kind {
    kField, kConstant, kAdd, kSubtract, kMultiply, kNegate,  // numbers
    kEq, kNe, kLt, kLe, kGt, kGe, kIsNull, kIsNotNull, kAnd, kOr, kNot,  // truths
  };
  struct Node {
    Kind kind = Kind::kConstant;
    int left = -1;
    int right = -1;
    std::uint32_t offset = 0;  // kField: the presence byte
    int fieldType = 0;         // kField
    std::int64_t constant = 0;
  };
  // A number: null, or a value.
  struct Number {
    std::int64_t value = 0;
    bool null = false;
  };

  int AddNumber(const sql::TExpToken& n, const std::vector<TFieldDescriptor>& fields);
  int AddTruth(const sql::TExpToken& n, const std::vector<TFieldDescriptor>& fields);
  int Push(Node node);
  bool Evaluate(int i, const std::uint8_t* image, Number* out) const;
  bool Operand(int i, const std::uint8_t* image, Number* out) const;
  // Evaluate: false when the arithmetic overflowed. Truth: 0 false, 1
  // true, -1 unknown.
  int Truth(int i, const std::uint8_t* image) const;

  std::vector<Node> nodes_;
  int root_ = -1;
};

}  // namespace kura
