#include "app/qt/grid_model.h"

#include <exception>

namespace sorabeku {

GridModel::GridModel(std::vector<GridColumn> columns, const GridLink& link,
                     QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)), link_(link) {}

void GridModel::Refresh(GridSource* source) {
  const bool attached = link_.attached;
  const int rows = attached && source ? source->RowCount() : 0;
  if (source != source_ || attached != attached_ || rows != rows_) {
    beginResetModel();
    source_ = source;
    attached_ = attached;
    rows_ = rows;
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
  }
}

int GridModel::ColumnOf(const QString& name) const {
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
    if (name == QString::fromStdString(columns_[i].field) ||
        name == QString::fromStdString(columns_[i].title)) {
      return i;
    }
  }
  return -1;
}

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !source() || index.row() >= rows_) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return QString::fromStdString(
      source_->Text(index.row(), columns_[index.column()].field));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation,
                               int role) const {
  if (orientation != Qt::Horizontal || section < 0 ||
      section >= static_cast<int>(columns_.size())) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::DisplayRole) return QString::fromStdString(columns_[section].title);
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
  return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value,
                        int role) {
  if (role != Qt::EditRole || !index.isValid() || !source() ||
      index.row() >= rows_) {
    return false;
  }
  try {
    source_->SetText(index.row(), columns_[index.column()].field,
                     value.toString().toStdString());
  } catch (const std::exception& e) {
    if (onError) onError(e.what());
    return false;
  }
  emit dataChanged(index, index);
  return true;
}

}  // namespace sorabeku
