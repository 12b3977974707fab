// A grid's table model over a GridSource: the columns of the grid, the rows
// of the source while the grid is attached to it.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "form/grid_source.h"
#include "form/screen_model.h"

namespace sorabeku {

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // `link` (attached or not) must outlive the model; the source may be
  // null (no rows).
  GridModel(std::vector<GridColumn> columns, const GridLink& link,
            QObject* parent);

  // Follows the source and the link after an event: announces a reset when
  // the source, the link or the row count changed, else a change of every
  // cell. A new row is kept while the source stays the same and attached.
  void Refresh(GridSource* source);

  GridSource* source() const { return attached_ ? source_ : nullptr; }

  // A new row, shown after the source's rows and not yet stored: typing
  // into its cells collects the values, CommitNewRow appends them to the
  // source (the row is then the source's last), CancelNewRow drops it.
  // Returns the new row's index, or -1 without a source.
  int BeginNewRow();
  // Stores the new row: an error of the source goes to onError and keeps
  // the row for correction (returns false); a row into which nothing was
  // typed is dropped. True when no new row is left.
  bool CommitNewRow();
  void CancelNewRow();
  // The index of the new row, or -1 when there is none.
  int newRow() const { return pending_ ? rows_ : -1; }
  const std::vector<GridColumn>& columns() const { return columns_; }
  // The column of field name or title `name`, or -1.
  int ColumnOf(const QString& name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Writes through to the source (which stores the row at once). An error
  // of the source ends the edit and goes to onError.
  bool setData(const QModelIndex& index, const QVariant& value,
               int role) override;

  std::function<void(const std::string&)> onError;

 private:
  std::vector<GridColumn> columns_;
  const GridLink& link_;
  GridSource* source_ = nullptr;
  bool attached_ = true;
  int rows_ = 0;  // the source's rows, without the new row
  std::optional<std::map<std::string, std::string>> pending_;
};

}  // namespace sorabeku
