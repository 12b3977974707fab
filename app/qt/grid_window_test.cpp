// The grids and DBEdit1 of the window over a real library, driven by key
// events as a user types: rows appended to the table of contents with
// Insert, the down arrow and the context menu, deletes confirmed first,
// cells and comments edited in place. What is stored is read back from
// the table files with the engine's tool.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <memory>

#include "app/qt/application.h"
#include "app/qt/comment_edit.h"
#include "app/qt/testing/qt_environment.h"
#include "app/qt/data_grid.h"
#include "app/qt/grid_model.h"
#include "app/qt/testing/library_window.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("grid_window_test"));

constexpr const char* kTwoProblems = R"(
INSERT INTO mokuji VALUES (5, 3, '隅の出入り');
INSERT INTO mokuji VALUES (12, 7, '二線のハネツギ');
INSERT INTO figure (MNB, TES, COL, PST, BTO, BFR) VALUES (12, 0, 1, 45, 9999, 1);
)";

class GridWindow : public testing::LibraryWindow {
 protected:
  void SetUp() override {
    Open(kTwoProblems);
    ASSERT_FALSE(HasFatalFailure());
    grid = static_cast<DataGrid*>(s->window->grid(1));
    model = grid->gridModel();
    tester = std::make_unique<QAbstractItemModelTester>(
        model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  }
  void TearDown() override { tester.reset(); }

  // Types `text` into `widget` as key presses; characters outside ASCII
  // come as one key event carrying the text, as an input method sends them.
  static void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
      if (c.unicode() >= 0x80) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget, &press);
        return;
      }
    }
    QTest::keyClicks(widget, text);
  }
  // Types `text` into cell (row, column) of `view` and ends the edit with
  // Return, as a user does.
  static void TypeInto(QTableView* view, int row, int column, const QString& text) {
    const QModelIndex index = view->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << row << ", " << column;
    view->setCurrentIndex(index);
    view->edit(index);
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(index));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    Type(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(grid, key, modifiers);
    QCoreApplication::processEvents();
  }
  // What `statement` selects, read from the table files by the engine's
  // tool (with its error text, if any).
  std::string Stored(const std::string& statement) {
    std::istringstream in;
    std::ostringstream out, err;
    kura::tool::RunKura({library().directory(), "--tsv", "-c", statement}, in, out,
                        err, false);
    return out.str() + err.str();
  }

  DataGrid* grid = nullptr;
  GridModel* model = nullptr;
  std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(GridWindow, InsertKeyAppendsAProblemStoredWhenTheRowIsCommitted) {
  ASSERT_EQ(model->rowCount(), 2);
  Key(Qt::Key_Insert);
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(grid->currentIndex().row(), 2);
  TypeInto(grid, 2, 0, "20");
  TypeInto(grid, 2, 1, "4");
  TypeInto(grid, 2, 2, QString::fromUtf8("新しい問題"));
  // Not stored while it is being typed, also across other events.
  EXPECT_EQ(Stored("select MNB from mokuji where MNB = 20;"), "MNB\n");
  s->Do("tick timer1");
  EXPECT_EQ(model->newRow(), 2);
  Key(Qt::Key_Return);
  EXPECT_EQ(model->newRow(), -1);
  EXPECT_EQ(Stored("select * from mokuji where MNB = 20;"),
            "MNB\tSIZE\tCMT\n20\t4\t新しい問題\n");
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->data(model->index(2, 2), Qt::DisplayRole).toString(),
            QString::fromUtf8("新しい問題"));
  // The stored row is a problem like the others.
  ASSERT_EQ(s->Do("grid1 3").status, kDriveOk);
  EXPECT_EQ(s->Dump()["state"]["CurrentProblem"], 20);
}

TEST_F(GridWindow, DownFromTheLastRowAppendsAndMovingOffStoresIt) {
  grid->setCurrentIndex(model->index(1, 0));
  Key(Qt::Key_Down);
  ASSERT_EQ(model->newRow(), 2);
  TypeInto(grid, 2, 0, "30");
  Key(Qt::Key_Up);  // leaving the new row stores it
  EXPECT_EQ(model->newRow(), -1);
  EXPECT_EQ(Stored("select MNB, SIZE from mokuji where MNB = 30;"), "MNB\tSIZE\n30\t\\N\n");

  // A new row left empty, or dropped with Escape, stores nothing.
  grid->setCurrentIndex(model->index(2, 0));
  Key(Qt::Key_Down);
  ASSERT_EQ(model->newRow(), 3);
  Key(Qt::Key_Up);
  EXPECT_EQ(model->newRow(), -1);
  Key(Qt::Key_Insert);
  TypeInto(grid, 3, 0, "40");
  Key(Qt::Key_Escape);
  EXPECT_EQ(model->newRow(), -1);
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(Stored("select count(*) from mokuji;"), "count(*)\n3\n");
}

TEST_F(GridWindow, NewRowThatCannotBeStoredIsKeptWithAnErrorBox) {
  Key(Qt::Key_Insert);
  TypeInto(grid, 2, 0, "50");
  TypeInto(grid, 2, 2, QString::fromUtf8("😀"));  // not in Shift-JIS
  Key(Qt::Key_Return);
  const json d = s->Dump();
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_EQ(model->newRow(), 2);
  EXPECT_EQ(Stored("select MNB from mokuji where MNB = 50;"), "MNB\n");
  TypeInto(grid, 2, 2, "ok");
  Key(Qt::Key_Return);
  EXPECT_EQ(Stored("select CMT from mokuji where MNB = 50;"), "CMT\nok\n");
}

TEST_F(GridWindow, ContextMenuAppendsAndDeletesAfterConfirmation) {
  ASSERT_TRUE(grid->appendAction()->isVisible());
  grid->appendAction()->trigger();
  EXPECT_EQ(model->newRow(), 2);
  grid->deleteAction()->trigger();  // on the new row: only dropped
  EXPECT_EQ(model->newRow(), -1);
  EXPECT_TRUE(s->Dump()["messages"].empty());

  grid->setCurrentIndex(model->index(0, 0));
  ASSERT_EQ(s->Do("answer no").status, kDriveOk);
  grid->deleteAction()->trigger();
  json d = s->Dump();
  EXPECT_EQ(d["messages"], std::vector<std::string>{kDeleteRowQuestion});
  EXPECT_EQ(Stored("select MNB from mokuji;"), "MNB\n5\n12\n");

  grid->setCurrentIndex(model->index(0, 0));
  Key(Qt::Key_Delete, Qt::ControlModifier);  // answered yes
  d = s->Dump();
  EXPECT_EQ(d["messages"], std::vector<std::string>{kDeleteRowQuestion});
  EXPECT_EQ(Stored("select MNB from mokuji;"), "MNB\n12\n");
  EXPECT_EQ(model->rowCount(), 1);

  // The problem grid deletes too, but appends nothing.
  auto* grid2 = static_cast<DataGrid*>(s->window->grid(2));
  EXPECT_FALSE(grid2->appendAction()->isVisible());
  ASSERT_EQ(s->Do("grid1 1").status, kDriveOk);
  QTest::keyClick(grid2, Qt::Key_Insert);
  EXPECT_EQ(grid2->gridModel()->newRow(), -1);
}

TEST_F(GridWindow, DriverDeletesAsCtrlDeleteDoes) {
  ASSERT_EQ(s->Do("answer no").status, kDriveOk);
  ASSERT_EQ(s->Do("grid1-delete 2").status, kDriveOk);
  EXPECT_EQ(Stored("select MNB from mokuji;"), "MNB\n5\n12\n");
  ASSERT_EQ(s->Do("grid1-delete 2").status, kDriveOk);
  EXPECT_EQ(Stored("select MNB from mokuji;"), "MNB\n5\n");
  EXPECT_EQ(s->Dump()["messages"].size(), 2u);
  EXPECT_EQ(s->Do("grid1-delete 2").status, kDriveCannotTake);
  EXPECT_EQ(s->Do("grid2-delete 1").status, kDriveCannotTake);  // hidden
  EXPECT_EQ(s->Do("grid1-delete x").status, kDriveScriptError);
}

TEST_F(GridWindow, CellsAndTheCommentAreEditedInPlace) {
  TypeInto(grid, 0, 2, QString::fromUtf8("隅の問題"));
  EXPECT_EQ(Stored("select CMT from mokuji where MNB = 5;"), "CMT\n隅の問題\n");

  ASSERT_EQ(s->Do("grid1 2").status, kDriveOk);  // problem 12: one row
  CommentEdit* edit = s->window->dbEdit1();
  ASSERT_FALSE(edit->isReadOnly());
  edit->selectAll();
  Type(edit, QString::fromUtf8("黒先"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(Stored("select CMT from figure where MNB = 12;"), "CMT\n黒先\n");

  // Text that Shift-JIS cannot hold is refused before anything is stored.
  edit->selectAll();
  Type(edit, QString::fromUtf8("😀"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(s->Dump()["messages"].size(), 1u);
  EXPECT_EQ(Stored("select CMT from figure where MNB = 12;"), "CMT\n黒先\n");
}

}  // namespace
}  // namespace sorabeku
