#include "app/qt/driver.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QComboBox>
#include <QLabel>
#include <QCoreApplication>
#include <QLineEdit>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPixmap>
#include <QTableView>
#include <algorithm>
#include <istream>
#include <ostream>
#include <sstream>
#include <vector>

#include "app/library_screens.h"
#include "app/program_library.h"
#include "app/qt/application.h"
#include "app/qt/board_widget.h"
#include "app/qt/comment_edit.h"
#include "app/qt/cute_button.h"
#include "app/qt/data_grid.h"
#include "app/qt/file_menu.h"
#include "app/qt/grid_model.h"
#include "app/qt/practice_actions.h"
#include "app/qt/progress_drive.h"
#include "app/qt/screen_dump.h"
#include "app/qt/grid_text.h"
#include "board/board_frame.h"
#include "board/click_map.h"
#include "form/grid_source.h"

namespace sorabeku {
namespace {

DriveOutcome Fail(int status, std::string message) {
  return DriveOutcome{status, std::move(message), false};
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// Splits off the first word of `s`; `rest` gets the remainder, trimmed.
std::string FirstWord(const std::string& s, std::string& rest) {
  const std::string t = Trim(s);
  const auto space = t.find_first_of(" \t");
  if (space == std::string::npos) {
    rest.clear();
    return t;
  }
  rest = Trim(t.substr(space));
  return t.substr(0, space);
}

bool ParseInt(const std::string& s, int& value) {
  if (s.empty()) return false;
  std::size_t used = 0;
  try {
    value = std::stoi(s, &used);
  } catch (const std::exception&) {
    return false;
  }
  return used == s.size();
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

nlohmann::json Drawn(const QString& text, const QString& display) {
  return {{"text", text.toStdString()}, {"display", display.toStdString()}};
}

// What a shown grid draws: its titles, its row indicators and every cell,
// each as its text and as drawn. A hidden grid draws nothing.
void AddDrawnGrid(const QTableView& view, nlohmann::json& grid) {
  nlohmann::json headers = nlohmann::json::array();
  nlohmann::json indicators = nlohmann::json::array();
  nlohmann::json cells = nlohmann::json::array();
  const QAbstractItemModel& model = *view.model();
  if (!view.isHidden()) {
    for (int c = 0; c < model.columnCount(); ++c) {
      headers.push_back(Drawn(model.headerData(c, Qt::Horizontal).toString(),
                              DrawnHeaderText(view, c)));
    }
    for (int r = 0; r < model.rowCount(); ++r) {
      indicators.push_back(Drawn(model.headerData(r, Qt::Vertical).toString(),
                                 DrawnRowIndicator(view, r)));
      nlohmann::json row = nlohmann::json::array();
      for (int c = 0; c < model.columnCount(); ++c) {
        row.push_back(Drawn(model.index(r, c).data().toString(),
                            DrawnCellText(view, r, c)));
      }
      cells.push_back(std::move(row));
    }
  }
  grid["headers"] = std::move(headers);
  grid["indicators"] = std::move(indicators);
  grid["cells"] = std::move(cells);
}

// The dump of the screen model with what the window draws of its texts:
// the grids, the section caption and the comment field.
nlohmann::json DumpWindow(const TForm2& window, const MainForm& form,
                          const RecordingServices& platform) {
  nlohmann::json d = DumpScreen(form, platform);
  nlohmann::json& drawn = d["drawn"];
  AddDrawnGrid(*window.grid(1), drawn["grid1"]);
  AddDrawnGrid(*window.grid(2), drawn["grid2"]);
  const auto* caption = static_cast<const QLabel*>(window.control("Label364"));
  drawn["caption"] = Drawn(caption->text(), DrawnLabelText(*caption));
  d["commentField"] = window.dbEdit1()->text().toStdString();
  AddProgressWindow(window, d);
  d["scale"] = window.scale();
  return d;
}

}  // namespace

Driver::Driver(TForm2& window, MainForm& form, RecordingServices& platform,
               std::ostream& out)
    : window_(window), form_(form), platform_(platform), out_(out) {
  window_.onNotAvailable = [this](const std::string& m) { notAvailable_ = m; };
}

int Driver::RunScript(std::istream& in, std::ostream& err) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const DriveOutcome outcome = Execute(line);
    if (outcome.status != kDriveOk) {
      err << "sorabeku-drive: line " << number << ": " << outcome.message
          << "\n";
      return outcome.status;
    }
    if (outcome.finished) break;
  }
  return kDriveOk;
}

DriveOutcome Driver::Execute(const std::string& line) {
  std::string text = line;
  if (const auto hash = text.find('#'); hash != std::string::npos) {
    text.erase(hash);
  }
  std::string rest;
  const std::string command = FirstWord(text, rest);
  if (command.empty()) return {};
  notAvailable_.clear();
  return Dispatch(command, rest);
}

DriveOutcome Driver::Dispatch(const std::string& command,
                              const std::string& rest) {
  if (command == "menu") return Menu(rest);
  if (command == "button") return Button(rest);
  if (command == "board") return Board(rest);
  if (command == "grid1") return GridClick(1, rest, false);
  if (command == "grid1-dbl") return GridClick(1, rest, true);
  if (command == "grid2") return GridClick(2, rest, false);
  if (command == "grid1-set") return GridSet(1, rest);
  if (command == "grid2-set") return GridSet(2, rest);
  if (command == "grid1-append") return GridAppend(rest);
  if (command == "grid1-delete") return GridDelete(1, rest);
  if (command == "grid2-delete") return GridDelete(2, rest);
  if (command == "comment") return Comment(rest);
  if (command == "edit1") return Edit1(rest);
  if (command == "combo1") return Combo(1, rest);
  if (command == "combo2") return Combo(2, rest);
  if (command == "tick") return Tick(rest);
  if (command == "clock") return Clock(rest);
  if (command == "screenshot") return Screenshot(rest);
  if (command == "choose-file") return ChooseFile(rest);
  if (command == "open-menu") return OpenMenu(rest);
  if (command == "seiseki") return SeisekiCommand(window_, rest);
  if (command == "key") return Key(rest);
  if (command == "scale") return Scale(rest);
  if (command == "focus") return Focus(rest);
  if (command == "answer") {
    if (rest != "yes" && rest != "no") {
      return Fail(kDriveScriptError, "answer takes yes or no");
    }
    platform_.nextAnswer = rest == "yes";
    return {};
  }
  if (command == "dump") {
    out_ << DumpWindow(window_, form_, platform_).dump() << "\n" << std::flush;
    platform_.messages.clear();
    platform_.sounds.clear();
    return {};
  }
  return Fail(kDriveScriptError, "unknown command \"" + command + "\"");
}

DriveOutcome Driver::AfterEvent() {
  if (!notAvailable_.empty()) return Fail(kDriveCannotTake, notAvailable_);
  DriveOutcome outcome;
  outcome.finished = platform_.terminated;
  return outcome;
}

DriveOutcome Driver::Menu(const std::string& caption) {
  QAction* action = window_.MenuAction(Q(caption));
  if (!action) return Fail(kDriveScriptError, "no menu item \"" + caption + "\"");
  action->trigger();
  return AfterEvent();
}

DriveOutcome Driver::Button(const std::string& caption) {
  CuteButton* button = window_.Button(Q(caption));
  if (!button) return Fail(kDriveScriptError, "no button \"" + caption + "\"");
  if (button->isHidden()) {
    return Fail(kDriveCannotTake, "button \"" + caption + "\" is not shown");
  }
  button->click();
  return AfterEvent();
}

DriveOutcome Driver::Board(const std::string& args) {
  std::string which;
  const std::string pointText = FirstWord(args, which);
  int point = 0;
  if (!ParseInt(pointText, point) || !IsOnBoard(point)) {
    return Fail(kDriveScriptError, "board takes a point 1..361");
  }
  if (!which.empty() && which != "left" && which != "right") {
    return Fail(kDriveScriptError, "board takes left or right");
  }
  const Qt::MouseButton button = which == "right" ? Qt::RightButton : Qt::LeftButton;
  const Rect r = LabelRect(point);
  // The label's centre where the window draws it, at its scale.
  const WidgetPoint centre =
      window_.board()->frame().ToWidget(r.left + r.width / 2, r.top + r.height / 2);
  const QPointF at(centre.x, centre.y);
  QMouseEvent press(QEvent::MouseButtonPress, at, window_.board()->mapToGlobal(at),
                    button, button, Qt::NoModifier);
  QCoreApplication::sendEvent(window_.board(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at,
                      window_.board()->mapToGlobal(at), button, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(window_.board(), &release);
  return AfterEvent();
}

DriveOutcome Driver::GridClick(int grid, const std::string& args, bool dbl) {
  int row = 0;
  if (!ParseInt(args, row) || row < 1) {
    return Fail(kDriveScriptError, "grid rows are numbered from 1");
  }
  GridModel* model = window_.gridModel(grid);
  QTableView* view = window_.grid(grid);
  if (view->isHidden()) {
    return Fail(kDriveCannotTake, "grid" + std::to_string(grid) + " is not shown");
  }
  if (row > model->rowCount()) {
    return Fail(kDriveCannotTake, "grid" + std::to_string(grid) + " has " +
                                      std::to_string(model->rowCount()) +
                                      " rows, not " + std::to_string(row));
  }
  const QModelIndex index = model->index(row - 1, 0);
  view->setCurrentIndex(index);
  if (dbl) {
    emit view->doubleClicked(index);
  } else {
    emit view->clicked(index);
  }
  return AfterEvent();
}

DriveOutcome Driver::GridSet(int grid, const std::string& args) {
  std::string afterRow, value;
  int row = 0;
  if (!ParseInt(FirstWord(args, afterRow), row) || row < 1) {
    return Fail(kDriveScriptError, "grid rows are numbered from 1");
  }
  const std::string column = FirstWord(afterRow, value);
  GridModel* model = window_.gridModel(grid);
  const int c = model->ColumnOf(Q(column));
  if (c < 0) return Fail(kDriveScriptError, "no column \"" + column + "\"");
  if (row > model->rowCount()) {
    return Fail(kDriveCannotTake, "grid" + std::to_string(grid) + " has " +
                                      std::to_string(model->rowCount()) + " rows");
  }
  model->setData(model->index(row - 1, c), Q(value), Qt::EditRole);
  window_.Refresh();
  return AfterEvent();
}

DriveOutcome Driver::GridAppend(const std::string& args) {
  std::string afterMnb, cmt;
  const std::string mnb = FirstWord(args, afterMnb);
  const std::string size = FirstWord(afterMnb, cmt);
  GridSource* source = window_.gridModel(1)->source();
  if (!source) {
    return Fail(kDriveCannotTake,
                "the table of contents is not part of the program yet");
  }
  window_.Run([&] { source->Append({{"MNB", mnb}, {"SIZE", size}, {"CMT", cmt}}); });
  return AfterEvent();
}

DriveOutcome Driver::GridDelete(int grid, const std::string& args) {
  int row = 0;
  if (!ParseInt(args, row) || row < 1) {
    return Fail(kDriveScriptError, "grid rows are numbered from 1");
  }
  auto* view = static_cast<DataGrid*>(window_.grid(grid));
  GridModel* model = view->gridModel();
  if (view->isHidden() || !model->source()) {
    return Fail(kDriveCannotTake, "grid" + std::to_string(grid) + " has no rows to delete");
  }
  if (row > model->rowCount()) {
    return Fail(kDriveCannotTake, "grid" + std::to_string(grid) + " has " +
                                      std::to_string(model->rowCount()) + " rows");
  }
  view->setCurrentIndex(model->index(row - 1, 0));
  view->deleteAction()->trigger();
  return AfterEvent();
}

DriveOutcome Driver::Comment(const std::string& text) {
  CommentEdit* edit = window_.dbEdit1();
  if (edit->isHidden() || edit->isReadOnly()) {
    return Fail(kDriveCannotTake, "DBEdit1 has no problem row to edit");
  }
  edit->setText(Q(text));
  edit->setModified(true);
  emit edit->editingFinished();
  return AfterEvent();
}

DriveOutcome Driver::Edit1(const std::string& text) {
  QLineEdit* edit = window_.edit1();
  if (edit->isHidden()) return Fail(kDriveCannotTake, "Edit1 is not shown");
  edit->setText(Q(text));
  emit edit->textEdited(Q(text));
  return AfterEvent();
}

DriveOutcome Driver::Combo(int combo, const std::string& args) {
  int index = 0;
  QComboBox* box = window_.combo(combo);
  if (!ParseInt(args, index) || index < 0 || index >= box->count()) {
    return Fail(kDriveScriptError, "combo" + std::to_string(combo) +
                                       " takes an item 0.." +
                                       std::to_string(box->count() - 1));
  }
  if (box->isHidden()) {
    return Fail(kDriveCannotTake, "combo" + std::to_string(combo) + " is not shown");
  }
  box->setCurrentIndex(index);
  emit box->activated(index);
  return AfterEvent();
}

DriveOutcome Driver::Tick(const std::string& args) {
  std::string countText;
  const std::string which = FirstWord(args, countText);
  int count = 1;
  if ((which != "timer1" && which != "timer2") ||
      (!countText.empty() && (!ParseInt(countText, count) || count < 1))) {
    return Fail(kDriveScriptError, "tick takes timer1 or timer2 and a count");
  }
  const TimerId id = which == "timer1" ? TimerId::kTimer1 : TimerId::kTimer2;
  for (int i = 0; i < count; ++i) {
    if (!platform_.IsEnabled(id)) break;  // a timer that is off does not fire
    if (id == TimerId::kTimer1) {
      window_.TickTimer1();
    } else {
      window_.TickTimer2();
    }
    if (!notAvailable_.empty() || platform_.terminated) break;
  }
  return AfterEvent();
}

DriveOutcome Driver::Clock(const std::string& args) {
  LocalTime t;
  char dash1 = 0, dash2 = 0, colon = 0;
  std::istringstream in(args);
  in >> t.year >> dash1 >> t.month >> dash2 >> t.day >> t.hour >> colon >> t.minute;
  if (!in || dash1 != '-' || dash2 != '-' || colon != ':' || t.month < 1 ||
      t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59) {
    return Fail(kDriveScriptError, "clock takes YYYY-MM-DD hh:mm");
  }
  platform_.now = t;
  return {};
}

DriveOutcome Driver::ChooseFile(const std::string& path) {
  if (path.empty()) return Fail(kDriveScriptError, "choose-file takes a file name");
  auto* menu = window_.findChild<FileMenu*>();
  if (!menu) return Fail(kDriveCannotTake, "the window has no menu ファイル");
  menu->SetNextPath(path);
  return {};
}

// Pops up the menu titled `caption` (a submenu with the menus above it)
// as a click on its title would.
DriveOutcome Driver::OpenMenu(const std::string& caption) {
  QMenu* menu = nullptr;
  for (QMenu* m : window_.findChildren<QMenu*>()) {
    if (m->title() == Q(caption)) menu = m;
  }
  if (!menu) return Fail(kDriveScriptError, "no menu \"" + caption + "\"");
  std::vector<QMenu*> chain{menu};
  while (auto* parent = qobject_cast<QMenu*>(chain.back()->parentWidget())) chain.push_back(parent);
  QWidget* top = chain.back()->parentWidget();
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    QMenu* m = *it;
    QPoint at;
    if (auto* bar = qobject_cast<QMenuBar*>(top)) {
      at = bar->mapToGlobal(bar->actionGeometry(m->menuAction()).bottomLeft());
    } else if (auto* above = qobject_cast<QMenu*>(top)) {
      above->setActiveAction(m->menuAction());
      at = above->mapToGlobal(above->actionGeometry(m->menuAction()).topRight());
    }
    m->popup(at);
    top = m;
  }
  QCoreApplication::processEvents();
  return {};
}

DriveOutcome Driver::Key(const std::string& name) {
  // Qt's names, and PageDown / PageUp for its PgDown / PgUp.
  QString portable = Q(name);
  portable.replace(QStringLiteral("PageDown"), QStringLiteral("PgDown"));
  portable.replace(QStringLiteral("PageUp"), QStringLiteral("PgUp"));
  const QKeySequence sequence = QKeySequence::fromString(portable, QKeySequence::PortableText);
  if (name.empty() || sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown) {
    return Fail(kDriveScriptError, "key takes a key name such as Right or Shift+Left");
  }
  const QKeyCombination combination = sequence[0];
  QWidget* focus = window_.focusWidget();
  QWidget* target = focus ? focus : static_cast<QWidget*>(&window_);
  const QString text = combination.key() == Qt::Key_Space ? QStringLiteral(" ")
                       : combination.key() >= Qt::Key_0 && combination.key() <= Qt::Key_9
                           ? QString(QChar(combination.key()))
                           : QString();
  QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers(), text);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers(), text);
  QCoreApplication::sendEvent(target, &release);
  return AfterEvent();
}

DriveOutcome Driver::Scale(const std::string& args) {
  double scale = 0;
  try {
    std::size_t used = 0;
    scale = std::stod(args, &used);
    if (used != args.size()) scale = 0;
  } catch (const std::exception&) {
    scale = 0;
  }
  if (scale < 1.0 || scale > 4.0) {
    return Fail(kDriveScriptError, "scale takes a number from 1 to 4");
  }
  window_.SetScale(scale);
  QCoreApplication::processEvents();
  return {};
}

DriveOutcome Driver::Focus(const std::string& name) {
  QWidget* widget = name == "board"     ? static_cast<QWidget*>(window_.board())
                    : name == "grid1"   ? static_cast<QWidget*>(window_.grid(1))
                    : name == "grid2"   ? static_cast<QWidget*>(window_.grid(2))
                    : name == "comment" ? static_cast<QWidget*>(window_.dbEdit1())
                                        : nullptr;
  if (!widget) return Fail(kDriveScriptError, "focus takes board, grid1, grid2 or comment");
  if (widget->isHidden()) return Fail(kDriveCannotTake, name + " is not shown");
  widget->setFocus(Qt::OtherFocusReason);
  // Without an active window (offscreen) the focus is only noted.
  if (window_.focusWidget() != widget) {
    return Fail(kDriveCannotTake, name + " cannot take the focus");
  }
  return {};
}

DriveOutcome Driver::Screenshot(const std::string& file) {
  if (file.empty()) return Fail(kDriveScriptError, "screenshot takes a file name");
  window_.Refresh();
  QCoreApplication::processEvents();
  // Open menus are windows of their own: drawn over the window's picture,
  // then closed.
  QPixmap picture = window_.grab();
  std::vector<QMenu*> open;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) open.push_back(m);
  }
  std::sort(open.begin(), open.end(), [](QMenu* a, QMenu* b) { return a->x() < b->x(); });
  {
    QPainter painter(&picture);
    for (QMenu* m : open) painter.drawPixmap(window_.mapFromGlobal(m->pos()), m->grab());
  }
  for (QMenu* m : open) m->close();
  if (!picture.save(Q(file), "PNG")) {
    return Fail(kDriveScriptError, "cannot write " + file);
  }
  return {};
}

DriveSession::DriveSession(std::string programDir, std::ostream* out)
    : form(platform.services(),
           programDir.empty() ? ProgramDirectory() : std::move(programDir)),
      out_(std::make_unique<std::ostringstream>()) {
  Start(out);
}

DriveSession::DriveSession(ProblemQueries& library, std::string programDir,
                           std::ostream* out)
    : form(platform.services(),
           programDir.empty() ? ProgramDirectory() : std::move(programDir)),
      screens_(std::make_unique<LibraryScreens>(library, form)),
      out_(std::make_unique<std::ostringstream>()) {
  Start(out);
}

DriveSession::DriveSession(ProgramLibrary& library, std::string programDir,
                           std::ostream* out, std::string recordsDir)
    : form(platform.services(),
           programDir.empty() ? ProgramDirectory() : std::move(programDir)),
      out_(std::make_unique<std::ostringstream>()) {
  library.Install(form);
  Start(out);
  (new FileMenu(*window, form, library.directory()))->SetHeadless(true);
  if (!recordsDir.empty()) {
    AttachPractice(*window, form, library, std::move(recordsDir),
                   [this] { return SecondsOf(platform.now); });
  }
}

void DriveSession::Start(std::ostream* out) {
  window = std::make_unique<TForm2>(form);
  driver_ = std::make_unique<Driver>(*window, form, platform,
                                     out ? *out : *out_);
  window->Run([this] { form.Create(); });
  window->show();
}

DriveSession::~DriveSession() {
  // The window reads the screens' grid sources until it is gone.
  driver_.reset();
  window.reset();
  screens_.reset();
}

DriveOutcome DriveSession::Do(const std::string& line) {
  return driver_->Execute(line);
}

int DriveSession::RunScript(std::istream& in, std::ostream& err) {
  return driver_->RunScript(in, err);
}

nlohmann::json DriveSession::Dump() {
  out_->str({});
  driver_->Execute("dump");
  return nlohmann::json::parse(out_->str());
}

}  // namespace sorabeku
