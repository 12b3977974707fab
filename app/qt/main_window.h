// TForm2: the Qt main window. It draws MainForm's screen model and turns
// user input into calls of MainForm's named handlers; it holds no logic of
// its own.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/stone_pictures.h"
#include "main_form/main_form.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace sorabeku {

class BoardWidget;
class CommentEdit;
class CuteButton;
class GridModel;
class KeyboardControl;
class PracticeMenu;

class TForm2 : public QMainWindow {
  Q_OBJECT
 public:
  // Builds the widgets for `form` (which must outlive the window) and draws
  // its screen model. The form's Create() is the caller's to run.
  explicit TForm2(MainForm& form, QWidget* parent = nullptr);
  ~TForm2() override;

  // Runs one event of the form and redraws: an exception ends the event in
  // an error box (MainForm::RunEvent); a handler whose screen is missing
  // goes to onNotAvailable, or to an error box when that is empty.
  void Run(const std::function<void()>& event);

  // Draws the screen model into the widgets.
  void Refresh();

  // Timer ticks (connected to the platform's timers, or called by the
  // driver).
  void TickTimer1();
  void TickTimer2();

  // Controls by caption or name, for the driver; null when there is none.
  QAction* MenuAction(const QString& caption) const;
  CuteButton* Button(const QString& caption) const;
  BoardWidget* board() const { return board_; }
  // The menu 練習, for appending items.
  PracticeMenu* practiceMenu() const { return practice_; }
  KeyboardControl* keyboard() const { return keyboard_; }
  QTableView* grid(int n) const { return n == 1 ? grid1_ : grid2_; }
  GridModel* gridModel(int n) const { return n == 1 ? model1_ : model2_; }
  CommentEdit* dbEdit1() const { return dbEdit1_; }
  QLineEdit* edit1() const { return edit1_; }
  QComboBox* combo(int n) const { return n == 1 ? combo1_ : combo2_; }
  // The widget of a named control of the side panel.
  QWidget* control(const std::string& name) const;

  // The scale of the board and the controls (1 = the design's sizes). The
  // window is resized to fit it; resizing the window by hand sets it.
  double scale() const { return scale_; }
  void SetScale(double scale);

  std::function<void(const std::string&)> onNotAvailable;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Run() of one of the form's handlers.
  void Invoke(void (MainForm::*handler)());
  void BuildMenu();
  void BuildSidePanel(QWidget* client);
  void BuildStatusBar();
  QWidget* MakeControl(const std::string& name, const Control& c,
                       QWidget* client);
  void ConnectButton(CuteButton* button, const std::string& name);
  void ConnectGrids();
  // Deletes stored row `row` of grid `n` after the user confirmed it.
  void DeleteRow(int n, int row);
  void RefreshControls();
  // Sizes, fonts and the board's frame for scale_ and the coordinates.
  void ApplyScale();
  void ApplyFonts();
  // Resizes the window to the client at scale_.
  void FitWindow();
  // The largest scale whose client fits a window of `size`.
  double ScaleFor(const QSize& size) const;
  // The client at 1x, coordinates' bands included.
  QSize DesignClientSize() const;
  void RefreshEdits();
  void RefreshGrids();
  // The row whose comment DBEdit1 shows (CommentRow), -1 for none.
  int CommentRowShown() const;
  void LabelPressed(int left, int top, Qt::MouseButton button);
  void CommentEdited();

  MainForm& form_;
  StonePictures stones_;
  QWidget* holder_ = nullptr;  // the central widget, holding the client
  QWidget* client_ = nullptr;
  double scale_ = 1.0;
  double fontScale_ = 1.0;  // the scale the fonts were last set for
  std::vector<QSize> pendingFits_;  // sizes asked for by FitWindow
  bool applying_ = false;           // inside ApplyScale
  BoardWidget* board_ = nullptr;
  PracticeMenu* practice_ = nullptr;
  KeyboardControl* keyboard_ = nullptr;
  std::map<std::string, QWidget*> widgets_;
  std::map<QString, QAction*> actions_;
  QLabel* panels_[3] = {};
  QTableView* grid1_ = nullptr;
  QTableView* grid2_ = nullptr;
  GridModel* model1_ = nullptr;
  GridModel* model2_ = nullptr;
  CommentEdit* dbEdit1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QComboBox* combo2_ = nullptr;
};

// The client area: the board and the side panel, between menu and status
// bar. With a usual frame this makes the window 770 x 610 outside.
inline constexpr int kClientWidth = 762;
inline constexpr int kClientHeight = 537;
inline constexpr int kStatusBarHeight = 19;

}  // namespace sorabeku
