// ShiftJisDataSet: the one place where the library's text changes encoding.
// The tables hold Shift-JIS (code page 932) bytes; the program works in
// UTF-8. The data module hands out its query results wrapped in this
// decorator, so that every text the program reads is UTF-8 and every text
// it writes is converted back before it reaches the row.
#pragma once

#include <stdexcept>
#include <string>

#include "engine/component/data_set.h"
#include "library/problem_queries.h"

namespace sorabeku {

// Thrown when a text cannot be written in Shift-JIS; nothing has been
// stored. The message names the first character that cannot be written.
class TextNotStorable : public std::runtime_error {
 public:
  explicit TextNotStorable(const std::string& message)
      : std::runtime_error(message) {}
};

// UTF-8 from Shift-JIS bytes; a byte sequence that is not Shift-JIS
// becomes U+FFFD. Never throws for any input.
std::string FromShiftJis(std::string_view bytes);
// Shift-JIS bytes from UTF-8; throws TextNotStorable for a character that
// Shift-JIS cannot hold.
std::string ToShiftJis(std::string_view utf8);

class ShiftJisDataSet final : public kura::TDataSet {
 public:
  // `inner` must outlive the decorator.
  explicit ShiftJisDataSet(kura::TDataSet& inner) : inner_(inner) {}

  kura::TDataSet& inner() { return inner_; }

  void Open() override { inner_.Open(); }
  void Close() override { inner_.Close(); }
  bool Active() const override { return inner_.Active(); }
  kura::TDataSetState State() const override { return inner_.State(); }
  void First() override { inner_.First(); }
  void Last() override { inner_.Last(); }
  void Next() override { inner_.Next(); }
  void Prior() override { inner_.Prior(); }
  bool Eof() const override { return inner_.Eof(); }
  bool Bof() const override { return inner_.Bof(); }
  int RecordCount() override { return inner_.RecordCount(); }
  int RecNo() override { return inner_.RecNo(); }
  int FieldCount() const override { return inner_.FieldCount(); }
  const std::string& FieldName(int index) const override {
    return inner_.FieldName(index);
  }
  int FindField(std::string_view name) const override {
    return inner_.FindField(name);
  }
  bool FieldIsNull(int index) override { return inner_.FieldIsNull(index); }
  std::int64_t FieldAsInteger(int index) override {
    return inner_.FieldAsInteger(index);
  }
  void SetFieldAsInteger(int index, std::int64_t value) override {
    inner_.SetFieldAsInteger(index, value);
  }
  void ClearField(int index) override { inner_.ClearField(index); }
  void Edit() override { inner_.Edit(); }
  void Append() override { inner_.Append(); }
  void Insert() override { inner_.Insert(); }
  void Post() override { inner_.Post(); }
  void Cancel() override { inner_.Cancel(); }
  void Delete() override { inner_.Delete(); }
  void DisableControls() override { inner_.DisableControls(); }
  void EnableControls() override { inner_.EnableControls(); }
  bool ControlsDisabled() const override { return inner_.ControlsDisabled(); }

  // The text of field `index` in UTF-8.
  std::string FieldAsString(int index) override;
  // Converts `value` to Shift-JIS and assigns it; a value that cannot be
  // converted throws TextNotStorable and leaves the field as it was.
  void SetFieldAsString(int index, std::string_view value) override;
  // String values are converted before the search; one that Shift-JIS
  // cannot hold matches no row.
  bool Locate(std::string_view fieldNames,
              const std::vector<kura::TLocateValue>& values,
              kura::TLocateOptions options = {}) override;

 private:
  kura::TDataSet& inner_;
};

// The three query results of a library seen through ShiftJisDataSet: the
// statements are opened on `inner`, the rows are read and written in UTF-8.
class ShiftJisQueries final : public ProblemQueries {
 public:
  // `inner` must outlive this.
  explicit ShiftJisQueries(ProblemQueries& inner)
      : inner_(inner), query1_(inner.KuraQuery1()),
        query2_(inner.KuraQuery2()), query4_(inner.KuraQuery4()) {}

  kura::TDataSet& KuraQuery1() override { return query1_; }
  kura::TDataSet& KuraQuery2() override { return query2_; }
  kura::TDataSet& KuraQuery4() override { return query4_; }
  void OpenContents(int section, int mode) override {
    inner_.OpenContents(section, mode);
  }
  void OpenProblemRows(int problem) override { inner_.OpenProblemRows(problem); }
  void OpenBranchPoints(int problem) override {
    inner_.OpenBranchPoints(problem);
  }
  void StartTransaction() override { inner_.StartTransaction(); }
  void Commit() override { inner_.Commit(); }
  void Rollback() override { inner_.Rollback(); }

 private:
  ProblemQueries& inner_;
  ShiftJisDataSet query1_;
  ShiftJisDataSet query2_;
  ShiftJisDataSet query4_;
};

}  // namespace sorabeku
