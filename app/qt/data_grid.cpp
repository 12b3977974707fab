#include "app/qt/data_grid.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include "app/qt/grid_model.h"

namespace sorabeku {

DataGrid::DataGrid(GridModel* model, bool appendable, QWidget* parent)
    : QTableView(parent), model_(model), appendable_(appendable) {
  setModel(model);
  setEditTriggers(QAbstractItemView::DoubleClicked |
                  QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  menu_ = new QMenu(this);
  appendAction_ = menu_->addAction(QString::fromUtf8(kAppendRowCaption));
  deleteAction_ = menu_->addAction(QString::fromUtf8(kDeleteRowCaption));
  appendAction_->setVisible(appendable_);
  connect(appendAction_, &QAction::triggered, this, &DataGrid::AppendRow);
  connect(deleteAction_, &QAction::triggered, this, &DataGrid::RequestDelete);
}

void DataGrid::AppendRow() {
  if (!appendable_) return;
  const int row = model_->BeginNewRow();
  if (row < 0) return;
  setCurrentIndex(model_->index(row, 0));
}

bool DataGrid::CommitNewRow() { return model_->CommitNewRow(); }

void DataGrid::RequestDelete() {
  const int row = currentIndex().isValid() ? currentIndex().row() : -1;
  if (row < 0) return;
  if (row == model_->newRow()) {
    model_->CancelNewRow();
    return;
  }
  emit deleteRequested(row);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  // Keys that an open cell editor leaves unused (Return ends its edit)
  // reach the grid too; they are the editor's.
  if (state() == QAbstractItemView::EditingState) {
    QTableView::keyPressEvent(event);
    return;
  }
  const int row = currentIndex().isValid() ? currentIndex().row() : -1;
  const bool onNewRow = row >= 0 && row == model_->newRow();
  const bool onLastRow = row >= 0 && row == model_->rowCount() - 1;
  if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
    AppendRow();
    return;
  }
  if (event->key() == Qt::Key_Delete &&
      event->modifiers() == Qt::ControlModifier) {
    RequestDelete();
    return;
  }
  if (onNewRow && event->key() == Qt::Key_Escape) {
    model_->CancelNewRow();
    return;
  }
  if (onNewRow && (event->key() == Qt::Key_Return ||
                   event->key() == Qt::Key_Enter)) {
    CommitNewRow();
    return;
  }
  if (event->key() == Qt::Key_Down && onLastRow && !onNewRow &&
      event->modifiers() == Qt::NoModifier) {
    AppendRow();
    return;
  }
  QTableView::keyPressEvent(event);
}

void DataGrid::contextMenuEvent(QContextMenuEvent* event) {
  deleteAction_->setEnabled(currentIndex().isValid());
  menu_->popup(event->globalPos());
}

void DataGrid::currentChanged(const QModelIndex& current,
                              const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  const int pending = model_->newRow();
  if (pending >= 0 && previous.isValid() && previous.row() == pending &&
      current.row() != pending) {
    // Storing resets the model; do it once this change has run its course.
    QMetaObject::invokeMethod(this, [this] { CommitNewRow(); },
                              Qt::QueuedConnection);
  }
}

}  // namespace sorabeku
