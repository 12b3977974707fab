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
    if (source != source_ || !attached) pending_.reset();
    source_ = source;
    attached_ = attached;
    rows_ = rows;
    endResetModel();
  } else if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

int GridModel::BeginNewRow() {
  if (!source()) return -1;
  if (pending_) return rows_;
  beginInsertRows({}, rows_, rows_);
  pending_.emplace();
  endInsertRows();
  return rows_;
}

bool GridModel::CommitNewRow() {
  if (!pending_) return true;
  if (pending_->empty() || !source()) {
    CancelNewRow();
    return true;
  }
  try {
    source_->Append(*pending_);
  } catch (const std::exception& e) {
    if (onError) onError(e.what());
    return false;
  }
  // The stored row is now one of the source's rows.
  beginResetModel();
  pending_.reset();
  rows_ = source_->RowCount();
  endResetModel();
  return true;
}

void GridModel::CancelNewRow() {
  if (!pending_) return;
  beginRemoveRows({}, rows_, rows_);
  pending_.reset();
  endRemoveRows();
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
  return parent.isValid() ? 0 : rows_ + (pending_ ? 1 : 0);
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !source() || index.row() >= rowCount()) return {};
  // A text column that cuts its texts shows each whole as a tooltip.
  const bool tip = role == Qt::ToolTipRole && columns_[index.column()].elides;
  if (role != Qt::DisplayRole && role != Qt::EditRole && !tip) return {};
  const std::string& field = columns_[index.column()].field;
  if (index.row() == newRow()) {
    const auto it = pending_->find(field);
    return it == pending_->end() ? QString() : QString::fromStdString(it->second);
  }
  return QString::fromStdString(source_->Text(index.row(), field));
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
      index.row() >= rowCount()) {
    return false;
  }
  if (index.row() == newRow()) {  // stored when the row is committed
    const std::string text = value.toString().toStdString();
    const std::string& field = columns_[index.column()].field;
    if (text.empty()) {
      pending_->erase(field);
    } else {
      (*pending_)[field] = text;
    }
    emit dataChanged(index, index);
    return true;
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
