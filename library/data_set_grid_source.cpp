#include "library/data_set_grid_source.h"

#include "engine/errors/kura_error.h"

namespace sorabeku {

void DataSetGridSource::ReturnTo(int recNo) const {
  rows_.First();
  for (int i = 1; i < recNo && !rows_.Eof(); ++i) rows_.Next();
}

void DataSetGridSource::TakeSnapshot() const {
  snapshot_.clear();
  if (!rows_.Active()) return;
  const int recNo = rows_.RecNo();
  rows_.DisableControls();
  try {
    for (rows_.First(); !rows_.Eof(); rows_.Next()) {
      std::vector<std::string> row;
      for (int i = 0; i < rows_.FieldCount(); ++i) {
        row.push_back(rows_.FieldAsString(i));
      }
      snapshot_.push_back(std::move(row));
    }
    if (recNo > 0) ReturnTo(recNo);
  } catch (...) {
    rows_.EnableControls();
    throw;
  }
  rows_.EnableControls();
}

int DataSetGridSource::RowCount() const {
  if (!rows_.Active()) {
    snapshot_.clear();
    return 0;
  }
  // Reading other rows would store the row being edited; keep the last
  // snapshot until the edit ends.
  if (rows_.State() == kura::TDataSetState::dsBrowse) TakeSnapshot();
  return static_cast<int>(snapshot_.size());
}

int DataSetGridSource::CurrentRow() const {
  if (!rows_.Active()) return -1;
  return rows_.RecNo() - 1;
}

void DataSetGridSource::MoveTo(int row) {
  if (!rows_.Active() || row < 0) return;
  ReturnTo(row + 1);
}

int DataSetGridSource::FieldIndex(const std::string& field) const {
  return rows_.FindField(field);
}

std::string DataSetGridSource::Text(int row, const std::string& field) const {
  const int index = FieldIndex(field);
  if (index < 0) return "";
  const bool editing = rows_.State() == kura::TDataSetState::dsEdit;
  if (editing && row == CurrentRow()) return rows_.FieldAsString(index);
  if (row < 0 || row >= static_cast<int>(snapshot_.size())) return "";
  const std::vector<std::string>& values = snapshot_[row];
  return index < static_cast<int>(values.size()) ? values[index] : "";
}

void DataSetGridSource::Assign(int index, const std::string& value) {
  if (value.empty()) {
    rows_.ClearField(index);
  } else {
    rows_.SetFieldAsString(index, value);
  }
}

void DataSetGridSource::SetText(int row, const std::string& field,
                                const std::string& value) {
  const int index = FieldIndex(field);
  if (index < 0) kura::Raise(kura::KURA_INVALIDFIELDNAME, {.field = field});
  MoveTo(row);
  rows_.Edit();
  try {
    Assign(index, value);
    rows_.Post();
  } catch (...) {
    rows_.Cancel();
    throw;
  }
}

void DataSetGridSource::Append(
    const std::map<std::string, std::string>& values) {
  rows_.Append();
  try {
    for (const auto& [field, value] : values) {
      const int index = FieldIndex(field);
      if (index < 0) kura::Raise(kura::KURA_INVALIDFIELDNAME, {.field = field});
      Assign(index, value);
    }
    rows_.Post();
  } catch (...) {
    rows_.Cancel();
    throw;
  }
}

void DataSetGridSource::Delete(int row) {
  if (!rows_.Active() || row < 0 || row >= rows_.RecordCount()) return;
  MoveTo(row);
  rows_.Delete();
}

}  // namespace sorabeku
