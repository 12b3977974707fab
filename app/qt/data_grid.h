// DataGrid: the table view of DBGrid1 and DBGrid2, with the keys and the
// context menu that users of such grids expect. Cells are edited in place
// (GridModel writes them through). Where appending is allowed, Insert, the
// down arrow on the last row and the menu item "行を追加" start a new row
// at the end; it is stored when the current row moves off it or Return is
// pressed on it, and Escape drops it. Ctrl+Delete and the menu item
// "行を削除" ask for the current row to be deleted (the window confirms).
#pragma once

#include <QTableView>

class QAction;
class QMenu;

namespace sorabeku {

class GridModel;

class DataGrid : public QTableView {
  Q_OBJECT
 public:
  // `model` must outlive the view; `appendable` allows new rows.
  DataGrid(GridModel* model, bool appendable, QWidget* parent);

  GridModel* gridModel() const { return model_; }
  // Starts a new row (or goes to the one already started) and makes its
  // first cell current. Nothing when appending is not allowed or the grid
  // shows no source.
  void AppendRow();
  // Stores the new row, if any (GridModel::CommitNewRow).
  bool CommitNewRow();
  // Asks for the current row to be deleted: a new row is only dropped,
  // a stored row goes to deleteRequested.
  void RequestDelete();
  // The context menu, with its two actions.
  QMenu* contextMenu() const { return menu_; }
  QAction* appendAction() const { return appendAction_; }
  QAction* deleteAction() const { return deleteAction_; }

 signals:
  // The user asked for stored row `row` (from 0) to be deleted.
  void deleteRequested(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void currentChanged(const QModelIndex& current,
                      const QModelIndex& previous) override;

 private:
  GridModel* model_;
  bool appendable_;
  QMenu* menu_;
  QAction* appendAction_;
  QAction* deleteAction_;
};

// The captions of the context menu and the question before a delete.
inline constexpr const char* kAppendRowCaption = "行を追加";
inline constexpr const char* kDeleteRowCaption = "行を削除";
inline constexpr const char* kDeleteRowQuestion = "この行を削除していいですか？";

}  // namespace sorabeku
