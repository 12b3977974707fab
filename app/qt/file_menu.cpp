#include "app/qt/file_menu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>

#include "app/qt/main_window.h"
#include "app/qt/qt_look.h"

namespace sorabeku {
namespace {

const QString kSgfFilter = QString::fromUtf8("SGF (*.sgf);;すべてのファイル (*)");

}  // namespace

QtProgress::~QtProgress() { delete dialog_; }

void QtProgress::Begin(const std::string& text) {
  delete dialog_;
  // Shown only when the work lasts longer than a moment.
  dialog_ = new QProgressDialog(QString::fromStdString(text), QString(), 0, 0, parent_);
  dialog_->setWindowTitle(QString::fromUtf8(kProgramTitle));
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setMinimumDuration(400);
  dialog_->setCancelButton(nullptr);
  dialog_->setValue(0);
}

void QtProgress::Step(int done, int total) {
  if (!dialog_) return;
  dialog_->setMaximum(total);
  dialog_->setValue(done);
}

void QtProgress::End() {
  delete dialog_;
  dialog_ = nullptr;
}

FileMenu::FileMenu(TForm2& window, MainForm& form, std::string libraryDir)
    : QObject(&window),
      window_(window),
      progress_(&window),
      commands_(form, std::move(libraryDir), progress_) {
  setObjectName("FileMenu");
  QMenuBar* bar = window.menuBar();
  auto* menu = new QMenu(QString::fromUtf8("ファイル"), bar);
  menu->setObjectName("File1");
  menu->setFont(WindowFont());
  QAction* first = bar->actions().isEmpty() ? nullptr : bar->actions().first();
  bar->insertMenu(first, menu);

  QAction* import = menu->addAction(QString::fromUtf8("SGFを読み込む…"));
  import->setObjectName("SgfImport1");
  connect(import, &QAction::triggered, this, &FileMenu::ImportClicked);

  QMenu* exportMenu = menu->addMenu(QString::fromUtf8("SGFに書き出す…"));
  exportMenu->setObjectName("SgfExport1");
  const std::pair<const char*, ExportScope> scopes[] = {
      {"この問題…", ExportScope::kProblem},
      {"この部の問題…", ExportScope::kSection},
      {"すべての問題…", ExportScope::kAll}};
  for (const auto& [caption, scope] : scopes) {
    QAction* action = exportMenu->addAction(QString::fromUtf8(caption));
    connect(action, &QAction::triggered, this, [this, scope = scope] { ExportClicked(scope); });
  }
}

std::string FileMenu::ChooseFile(bool save, const QString& suggestedName) {
  if (nextPath_) {
    std::string path = std::move(*nextPath_);
    nextPath_.reset();
    return path;
  }
  if (headless_) return {};
  const QString path =
      save ? QFileDialog::getSaveFileName(&window_, QString::fromUtf8("SGFに書き出す"),
                                          QDir::home().filePath(suggestedName), kSgfFilter)
           : QFileDialog::getOpenFileName(&window_, QString::fromUtf8("SGFを読み込む"),
                                          QDir::homePath(), kSgfFilter);
  return path.toStdString();
}

void FileMenu::ImportClicked() {
  const std::string path = ChooseFile(false, {});
  if (path.empty()) return;
  window_.Run([this, &path] { commands_.Import(path); });
}

void FileMenu::ExportClicked(ExportScope scope) {
  const QString name = scope == ExportScope::kProblem   ? "problem.sgf"
                       : scope == ExportScope::kSection ? "section.sgf"
                                                        : "problems.sgf";
  const std::string path = ChooseFile(true, name);
  if (path.empty()) return;
  window_.Run([this, scope, &path] { commands_.Export(scope, path); });
}

}  // namespace sorabeku
