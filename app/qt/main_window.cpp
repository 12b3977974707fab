#include "app/qt/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>
#include <cmath>

#include "app/qt/board_widget.h"
#include "app/qt/comment_edit.h"
#include "app/qt/cute_button.h"
#include "app/qt/data_grid.h"
#include "app/qt/grid_model.h"
#include "app/qt/grid_text.h"
#include "app/qt/keyboard_control.h"
#include "app/qt/practice_menu.h"
#include "app/qt/qt_look.h"
#include "form/grid_source.h"

namespace sorabeku {
namespace {

using Handler = void (MainForm::*)();

const std::map<std::string, Handler>& ButtonHandlers() {
  static const std::map<std::string, Handler> handlers = {
      {"CuteButton1", &MainForm::CuteButton1Click},
      {"CuteButton2", &MainForm::CuteButton2Click},
      {"CuteButton3", &MainForm::CuteButton3Click},
      {"CuteButton4", &MainForm::CuteButton4Click},
      {"CuteButton5", &MainForm::CuteButton5Click},
      {"CuteButton6", &MainForm::CuteButton6Click},
      {"CuteButton7", &MainForm::CuteButton7Click},
      {"CuteButton8", &MainForm::CuteButton8Click},
      {"CuteButton9", &MainForm::CuteButton9Click},
      {"CuteButton10", &MainForm::CuteButton10Click},
      {"CuteButton11", &MainForm::CuteButton11Click},
  };
  return handlers;
}

MouseButton ToMouseButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return MouseButton::kLeft;
    case Qt::RightButton: return MouseButton::kRight;
    default: return MouseButton::kMiddle;
  }
}

DataGrid* MakeGrid(GridModel* model, bool appendable, QWidget* client) {
  auto* view = new DataGrid(model, appendable, client);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->verticalHeader()->setDefaultSectionSize(16);
  view->horizontalHeader()->setFixedHeight(17);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  for (int i = 0; i < model->columnCount(); ++i) {
    view->setColumnWidth(i, model->columns()[i].width);
  }
  return view;
}

}  // namespace

TForm2::TForm2(MainForm& form, QWidget* parent)
    : QMainWindow(parent),
      form_(form),
      stones_(QString::fromStdString(form.state.ProgramDir)) {
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  setFont(WindowFont());
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ToQColor(kWindowColour));
  setPalette(palette);
  setAutoFillBackground(true);

  // The client keeps the design's proportions inside a central widget that
  // takes whatever size the window has.
  holder_ = new QWidget(this);
  holder_->setMinimumSize(kClientWidth, kClientHeight);
  setCentralWidget(holder_);
  auto* client = new QWidget(holder_);
  client_ = client;
  client->setFixedSize(kClientWidth, kClientHeight);
  board_ = new BoardWidget(form_.screen, stones_, client);
  board_->move(0, 0);
  connect(board_, &BoardWidget::labelPressed, this, &TForm2::LabelPressed);

  BuildMenu();
  BuildSidePanel(client);
  BuildStatusBar();
  keyboard_ = new KeyboardControl(*this, form_);
  Refresh();
  resize(sizeHint());
  // The keys of the training screen work from the start.
  board_->setFocus();
}

TForm2::~TForm2() = default;

void TForm2::Run(const std::function<void()>& event) {
  try {
    form_.RunEvent(event);
  } catch (const NotAvailable& e) {
    if (onNotAvailable) {
      onNotAvailable(e.what());
    } else {
      form_.services().messages->Error(e.what());
    }
  }
  Refresh();
}

void TForm2::Invoke(void (MainForm::*handler)()) {
  MainForm& form = form_;
  Run([&form, handler] { (form.*handler)(); });
}

void TForm2::TickTimer1() { Run([this] { form_.Timer1Timer(); }); }
void TForm2::TickTimer2() { Run([this] { form_.Timer2Timer(); }); }

void TForm2::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setFont(WindowFont());
  auto add = [this](QMenu* menu, const char* name, const char* caption,
                    Handler handler) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    connect(action, &QAction::triggered, this,
            [this, handler] { Invoke(handler); });
    actions_[action->text()] = action;
  };
  QMenu* screen = bar->addMenu(QString::fromUtf8("画面切替"));
  screen->setObjectName("N7");
  add(screen, "N8", "道場画面", &MainForm::N8Click);
  add(screen, "N9", "編集画面", &MainForm::N9Click);
  QMenu* section = bar->addMenu(QString::fromUtf8("部切替"));
  section->setObjectName("N1");
  add(section, "N3", "出入の部", &MainForm::N3Click);
  add(section, "N4", "手筋の部", &MainForm::N4Click);
  add(section, "N5", "地中の部", &MainForm::N5Click);
  QMenu* help = bar->addMenu(QString::fromUtf8("ヘルプ"));
  help->setObjectName("Help1");
  add(help, "N2", "オンラインヘルプ", &MainForm::N2Click);
  add(help, "About1", "バージョン情報", &MainForm::About1Click);
  practice_ = new PracticeMenu(*this, form_);
  QAction* exit = bar->addAction(QString::fromUtf8("終了"));
  exit->setObjectName("Exit1");
  connect(exit, &QAction::triggered, this,
          [this] { Run([this] { form_.Exit1Click(); }); });
  actions_[exit->text()] = exit;
}

QWidget* TForm2::MakeControl(const std::string& name, const Control& c,
                             QWidget* client) {
  const QString text = QString::fromStdString(c.text);
  switch (c.kind) {
    case ControlKind::kLabel: {
      auto* label = new QLabel(text, client);
      label->setFont(WindowFont(c.bold));
      if (name == "Label362") label->setAlignment(Qt::AlignCenter);
      return label;
    }
    case ControlKind::kButton: {
      auto* button = new CuteButton(text, c.colour, client);
      ConnectButton(button, name);
      return button;
    }
    case ControlKind::kComboBox: {
      auto* box = new QComboBox(client);
      for (const std::string& item : c.items) box->addItem(QString::fromStdString(item));
      box->setPlaceholderText(text);
      box->setCurrentIndex(-1);
      // The box's own caption ("検索", "評価") is drawn as any chosen item
      // is, not in the grey of a disabled box.
      QPalette palette = box->palette();
      palette.setBrush(QPalette::PlaceholderText, palette.buttonText());
      box->setPalette(palette);
      return box;
    }
    case ControlKind::kEdit:
      if (name == "DBEdit1") {
        auto* edit = new CommentEdit(client);
        edit->setFont(WindowFont());
        return edit;
      }
      return new QLineEdit(text, client);
    case ControlKind::kGrid:
      return nullptr;  // made by BuildSidePanel
  }
  return nullptr;
}

void TForm2::ConnectButton(CuteButton* button, const std::string& name) {
  const Handler handler = ButtonHandlers().at(name);
  connect(button, &QAbstractButton::clicked, this,
          [this, handler] { Invoke(handler); });
}

void TForm2::BuildSidePanel(QWidget* client) {
  for (const auto& [name, c] : form_.screen.controls) {
    if (QWidget* w = MakeControl(name, c, client)) widgets_[name] = w;
  }
  model1_ = new GridModel(ContentsColumns(), form_.screen.grid1, this);
  model2_ = new GridModel(ProblemRowColumns(), form_.screen.grid2, this);
  for (GridModel* model : {model1_, model2_}) {
    model->onError = [this](const std::string& message) {
      form_.services().messages->Error(message);
    };
  }
  // New problems are made by appending to the table of contents; the rows
  // of a problem are appended by the editing screen's registering.
  grid1_ = MakeGrid(model1_, true, client);
  grid2_ = MakeGrid(model2_, false, client);
  widgets_["DBGrid1"] = grid1_;
  widgets_["DBGrid2"] = grid2_;
  dbEdit1_ = static_cast<CommentEdit*>(widgets_.at("DBEdit1"));
  edit1_ = static_cast<QLineEdit*>(widgets_.at("Edit1"));
  combo1_ = static_cast<QComboBox*>(widgets_.at("ComboBox1"));
  combo2_ = static_cast<QComboBox*>(widgets_.at("ComboBox2"));
  ConnectGrids();

  connect(edit1_, &QLineEdit::textEdited, this, [this](const QString& text) {
    form_.screen.control("Edit1").text = text.toStdString();
  });
  connect(dbEdit1_, &CommentEdit::editingFinished, this, &TForm2::CommentEdited);
  auto connectCombo = [this](QComboBox* box, const char* name, Handler handler) {
    connect(box, &QComboBox::activated, this, [this, name, handler](int index) {
      form_.screen.control(name).itemIndex = index;
      Invoke(handler);
    });
  };
  connectCombo(combo1_, "ComboBox1", &MainForm::ComboBox1Change);
  connectCombo(combo2_, "ComboBox2", &MainForm::ComboBox2Change);
}

void TForm2::ConnectGrids() {
  auto moveTo = [this](GridSource* source, const QModelIndex& index) {
    if (source && index.isValid()) source->MoveTo(index.row());
  };
  // A click on a new row, not yet stored, is no click on a row of the
  // source: it only edits.
  auto stored = [](GridModel* model, const QModelIndex& i) {
    return i.isValid() && i.row() != model->newRow();
  };
  connect(grid1_, &QTableView::clicked, this,
          [this, moveTo, stored](const QModelIndex& i) {
            if (!stored(model1_, i)) return;
            Run([&] { moveTo(model1_->source(), i); form_.DBGrid1CellClick(); });
          });
  connect(grid1_, &QTableView::doubleClicked, this,
          [this, moveTo, stored](const QModelIndex& i) {
            if (!stored(model1_, i)) return;
            Run([&] { moveTo(model1_->source(), i); form_.DBGrid1DblClick(); });
          });
  connect(grid2_, &QTableView::clicked, this,
          [this, moveTo, stored](const QModelIndex& i) {
            if (!stored(model2_, i)) return;
            Run([&] { moveTo(model2_->source(), i); form_.DBGrid2CellClick(); });
          });
  for (int n = 1; n <= 2; ++n) {
    connect(static_cast<DataGrid*>(grid(n)), &DataGrid::deleteRequested, this,
            [this, n](int row) { DeleteRow(n, row); });
  }
}

void TForm2::DeleteRow(int n, int row) {
  GridSource* source = gridModel(n)->source();
  if (!source) return;
  Run([&] {
    if (!form_.services().messages->Confirm(kDeleteRowQuestion)) return;
    source->Delete(row);
  });
}

void TForm2::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setFixedHeight(kStatusBarHeight);
  bar->setSizeGripEnabled(false);
  QPalette palette = bar->palette();
  palette.setColor(QPalette::WindowText, ToQColor(kNavy));
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(bar);
    panels_[i]->setFont(WindowFont(true));
    panels_[i]->setPalette(palette);
    panels_[i]->setFrameShape(QFrame::Panel);
    panels_[i]->setFrameShadow(QFrame::Sunken);
    if (i < 2) {
      panels_[i]->setFixedWidth(300);
      bar->addWidget(panels_[i]);
    } else {
      panels_[i]->setAlignment(Qt::AlignCenter);
      bar->addWidget(panels_[i], 1);
    }
  }
}

void TForm2::LabelPressed(int left, int top, Qt::MouseButton button) {
  Run([&] { form_.Label1MouseDown(left, top, ToMouseButton(button)); });
}

int TForm2::CommentRowShown() const {
  GridSource* rows = model2_->source();
  if (!rows) return -1;
  return CommentRow(*rows, form_.screen.comment, form_.state.ScreenMode == 1);
}

void TForm2::CommentEdited() {
  GridSource* rows = model2_->source();
  const int row = CommentRowShown();
  if (!rows || !dbEdit1_->isModified() || row < 0) return;
  dbEdit1_->setModified(false);
  const std::string text = dbEdit1_->text().toStdString();
  Run([&] {
    const int current = rows->CurrentRow();
    rows->SetText(row, "CMT", text);
    // The problem cursor stays where stepping left it.
    if (row != current) rows->MoveTo(current);
  });
}

void TForm2::Refresh() {
  if (board_->frame().coordinates != form_.practice.coordinates) {
    ApplyScale();
    FitWindow();
  }
  RefreshControls();
  // The grids first: the comment field reads the rows they follow.
  RefreshGrids();
  RefreshEdits();
  for (int i = 0; i < 3; ++i) {
    const QString text = QString::fromStdString(form_.screen.panels[i]);
    panels_[i]->setText(text);
    // A panel is narrower than many comments: the whole text on hovering.
    panels_[i]->setToolTip(i < 2 ? text : QString());
  }
  board_->update();
}

void TForm2::RefreshGrids() {
  model1_->Refresh(form_.contentsSource);
  model2_->Refresh(form_.rowsSource);
  FitGridColumns(*grid1_, model1_->columns(), scale_);
  FitGridColumns(*grid2_, model2_->columns(), scale_);
  for (int n = 1; n <= 2; ++n) {
    GridSource* source = gridModel(n)->source();
    // While a new row is being typed, the grid stays on it.
    if (gridModel(n)->newRow() >= 0) continue;
    if (source && source->RowCount() > 0) {
      grid(n)->selectRow(source->CurrentRow());
    }
  }
}

void TForm2::RefreshControls() {
  const int shift = board_->frame().left();  // the coordinates' band
  for (const auto& [name, c] : form_.screen.controls) {
    QWidget* w = widgets_.at(name);
    int width = Scaled(c.width, scale_);
    if (c.kind == ControlKind::kLabel) {
      auto* label = static_cast<QLabel*>(w);
      label->setText(QString::fromStdString(c.text));
      // A caption is shown whole: the label grows to its text.
      width = std::max(width, label->fontMetrics().horizontalAdvance(label->text()));
    }
    w->setGeometry(Scaled(c.left + shift, scale_), Scaled(c.top, scale_), width,
                   Scaled(c.height, scale_));
    w->setVisible(c.visible);
    if (c.kind == ControlKind::kComboBox) {
      auto* box = static_cast<QComboBox*>(w);
      QSignalBlocker block(box);
      box->setCurrentIndex(c.itemIndex);
    }
  }
}

void TForm2::RefreshEdits() {
  const QString edit1 = QString::fromStdString(form_.screen.control("Edit1").text);
  if (edit1_->text() != edit1) edit1_->setText(edit1);
  GridSource* rows = model2_->source();
  const int row = CommentRowShown();
  const bool bound = rows && row >= 0;
  dbEdit1_->setReadOnly(!bound);
  const QString comment =
      bound ? QString::fromStdString(rows->Text(row, "CMT")) : QString();
  if (!dbEdit1_->isModified() && dbEdit1_->text() != comment) {
    dbEdit1_->setText(comment);
  }
}

QSize TForm2::DesignClientSize() const {
  const BoardFrame frame{1.0, form_.practice.coordinates};
  return {kClientWidth + frame.left(), kClientHeight + frame.top()};
}

void TForm2::SetScale(double scale) {
  scale_ = std::max(1.0, scale);
  ApplyScale();
  FitWindow();
  Refresh();
}

void TForm2::ApplyScale() {
  // The window grows with its bars meanwhile; that is no resizing by the
  // user.
  const bool outer = !applying_;
  applying_ = true;
  board_->SetFrame(BoardFrame{scale_, form_.practice.coordinates});
  const QSize design = DesignClientSize();
  client_->setFixedSize(Scaled(design.width(), scale_), Scaled(design.height(), scale_));
  holder_->setMinimumSize(design);
  statusBar()->setFixedHeight(Scaled(kStatusBarHeight, scale_));
  for (int i = 0; i < 2; ++i) panels_[i]->setFixedWidth(Scaled(300, scale_));
  if (fontScale_ != scale_) ApplyFonts();
  RefreshControls();
  if (outer) applying_ = false;
}

void TForm2::ApplyFonts() {
  fontScale_ = scale_;
  for (const auto& [name, c] : form_.screen.controls) {
    widgets_.at(name)->setFont(WindowFont(c.kind == ControlKind::kLabel && c.bold, scale_));
  }
  for (QTableView* view : {grid1_, grid2_}) {
    view->setFont(WindowFont(false, scale_));
    view->verticalHeader()->setDefaultSectionSize(Scaled(16, scale_));
    view->horizontalHeader()->setFixedHeight(Scaled(17, scale_));
  }
  for (QLabel* panel : panels_) panel->setFont(WindowFont(true, scale_));
}

void TForm2::FitWindow() {
  // The window may shrink to the design's size, not below. Activating the
  // layout may resize the window on the way: no resizing by the user.
  const bool outer = !applying_;
  applying_ = true;
  holder_->setMinimumSize(DesignClientSize());
  if (layout()) layout()->activate();
  if (outer) applying_ = false;
  if (isMaximized() || isFullScreen()) return;
  // The client with the bars above and below it.
  const QSize fit(client_->width(),
                  menuBar()->height() + client_->height() + statusBar()->height());
  // The platform may report the new size later, in an event of its own:
  // that event is no resizing by the user.
  pendingFits_.push_back(fit);
  resize(fit);
}

double TForm2::ScaleFor(const QSize& size) const {
  const QSize design = DesignClientSize();
  const double across = static_cast<double>(size.width()) / design.width();
  const int bars = menuBar()->height();
  const double down = static_cast<double>(size.height() - bars) /
                      (design.height() + kStatusBarHeight);
  // Steps of 1/20: a window resized by a pixel keeps its scale.
  return std::max(1.0, std::floor(std::min(across, down) * 20.0) / 20.0);
}

void TForm2::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  const auto fit = std::find(pendingFits_.begin(), pendingFits_.end(), event->size());
  if (fit != pendingFits_.end()) {
    pendingFits_.erase(pendingFits_.begin(), fit + 1);
    return;
  }
  if (applying_ || !isVisible()) return;
  const double scale = ScaleFor(size());
  if (scale == scale_) return;
  scale_ = scale;
  ApplyScale();
  Refresh();
}

QAction* TForm2::MenuAction(const QString& caption) const {
  const auto it = actions_.find(caption);
  if (it != actions_.end()) return it->second;
  // Menus added from outside the window (ファイル) are found by caption.
  for (QAction* action : findChildren<QAction*>()) {
    if (action->text() == caption) return action;
  }
  return nullptr;
}

CuteButton* TForm2::Button(const QString& caption) const {
  for (const auto& [name, w] : widgets_) {
    auto* button = qobject_cast<CuteButton*>(w);
    if (button && button->text() == caption && !button->isHidden()) return button;
  }
  for (const auto& [name, w] : widgets_) {
    auto* button = qobject_cast<CuteButton*>(w);
    if (button && button->text() == caption) return button;
  }
  return nullptr;
}

QWidget* TForm2::control(const std::string& name) const {
  const auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

}  // namespace sorabeku
