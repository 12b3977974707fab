#include "engine/expr/exp_token.h"

namespace kura::sql {

const char* FunctionName(FuncCode code) {
  for (const auto& f : kFunctions)
    if (f.code == code) return f.name;
  return "";
}

const char* OperandKind(const TExpToken& node) {
  switch (node.nodeClass) {
    case NodeClass::kColumn: return "column";
    case NodeClass::kConstant:
    case NodeClass::kParameter: return "constant";
    case NodeClass::kFunction:
    case NodeClass::kAggregate: return "function";
    default: return "expression";
  }
}

bool ContainsAggregate(const TExpToken& node) {
  if (node.nodeClass == NodeClass::kAggregate) return true;
  bool found = false;
  node.ForEachChild([&](const TExpToken& child) {
    if (!found && ContainsAggregate(child)) found = true;
  });
  return found;
}

}  // namespace kura::sql
