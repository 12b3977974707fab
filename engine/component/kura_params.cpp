#include "engine/component/kura_params.h"

#include "engine/errors/kura_error.h"
#include "engine/expr/field_types.h"
#include "engine/storage/names.h"

namespace kura {

namespace {

bool IsQuote(char c) { return c == '\'' || c == '"' || c == '`'; }

bool EndsName(char c) {
  return c == ' ' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == ')';
}

}  // namespace

// A literal is closed only by the quote character that opened it, so an
// apostrophe inside a double-quoted text does not hide the markers after it.
TParamScan ScanParameterMarkers(std::string_view text) {
  TParamScan scan;
  std::string& out = scan.processedText;
  char literal = 0;  // the quote that opened the current literal, 0 outside
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (literal != 0) {
      if (c == literal) literal = 0;
      out += c;
      ++i;
      continue;
    }
    if (IsQuote(c)) {
      literal = c;
      out += c;
      ++i;
      continue;
    }
    if (c != ':') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == ':') {
      out += ':';
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    std::string name;
    if (j < text.size() && IsQuote(text[j])) {
      const char q = text[j];
      const std::size_t close = text.find(q, j + 1);
      const std::size_t end = close == std::string_view::npos ? text.size() : close;
      name = std::string(text.substr(j + 1, end - j - 1));
      j = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      while (j < text.size() && !EndsName(text[j])) ++j;
      name = std::string(text.substr(i + 1, j - i - 1));
    }
    scan.names.push_back(std::move(name));
    out += '?';
    i = j;
  }
  return scan;
}

// ---- TParam ----------------------------------------------------------------

std::int64_t TParam::AsInteger() const {
  if (null_) return 0;
  if (dataType_ == sql::kTypeString) {
    try {
      return std::stoll(text_);
    } catch (const std::exception&) {
      return 0;
    }
  }
  return integer_;
}

std::string TParam::AsString() const {
  if (null_) return "";
  return dataType_ == sql::kTypeString ? text_ : std::to_string(integer_);
}

void TParam::SetAsInteger(std::int64_t value) {
  dataType_ = sql::kTypeInteger;
  integer_ = value;
  text_.clear();
  null_ = false;
  bound_ = true;
}

void TParam::SetAsString(std::string_view value) {
  dataType_ = sql::kTypeString;
  text_ = std::string(value);
  integer_ = 0;
  null_ = false;
  bound_ = true;
}

void TParam::SetNull(int dataType) {
  dataType_ = dataType;
  integer_ = 0;
  text_.clear();
  null_ = true;
  bound_ = true;
}

void TParam::AssignValue(const TParam& other) {
  dataType_ = other.dataType_;
  null_ = other.null_;
  bound_ = other.bound_;
  integer_ = other.integer_;
  text_ = other.text_;
}

void TParam::SetFromMaster(const sql::Value& v) {
  if (sql::IsIntegerType(v.type) || v.type == sql::kTypeBoolean) {
    dataType_ = sql::kTypeInteger;
    integer_ = v.integer;
    text_.clear();
  } else {
    dataType_ = sql::kTypeString;
    text_ = v.text;
    integer_ = 0;
  }
  null_ = v.null;
}

sql::Value TParam::BindValue() const {
  if (dataType_ == sql::kTypeString) {
    std::string s = text_;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (null_ || s.empty()) return sql::Value::NullOf(sql::kTypeString);
    return sql::Value::String(std::move(s));
  }
  if (null_) return sql::Value::NullOf(dataType_);
  return sql::Value::Integer(integer_, sql::kTypeInteger);
}

// ---- TParams ---------------------------------------------------------------

TParam& TParams::operator[](int i) {
  if (i < 0 || i >= Count()) Raise(KURA_OUTOFRANGE, {.field = std::to_string(i)});
  return *items_[static_cast<std::size_t>(i)];
}

const TParam& TParams::operator[](int i) const {
  if (i < 0 || i >= Count()) Raise(KURA_OUTOFRANGE, {.field = std::to_string(i)});
  return *items_[static_cast<std::size_t>(i)];
}

TParam* TParams::FindParam(std::string_view name) {
  for (auto& p : items_) {
    if (EqualNoCase(p->Name(), name)) return p.get();
  }
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) {
  TParam* p = FindParam(name);
  if (p == nullptr) Raise(KURA_INVALIDFIELDNAME, {.field = std::string(name)});
  return *p;
}

TParam& TParams::Add(std::string name) {
  items_.push_back(std::make_unique<TParam>(std::move(name)));
  return *items_.back();
}

void TParams::Rebuild(const std::vector<std::string>& names) {
  TParams old;
  old.items_ = std::move(items_);
  items_.clear();
  for (const std::string& n : names) {
    TParam& p = Add(n);
    if (const TParam* before = old.FindParam(n)) p.AssignValue(*before);
  }
}

}  // namespace kura
