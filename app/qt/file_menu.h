// The menu ファイル of the main window: "SGFを読み込む…" and
// "SGFに書き出す…" (this problem, this section, every problem). It asks
// for the file in a file dialog, shows a progress dialog while the work
// lasts and runs SgfFileCommands in one of the window's events.
#pragma once

#include <QObject>
#include <optional>
#include <string>

#include "app/sgf_file_commands.h"

class QProgressDialog;
class QWidget;

namespace sorabeku {

class TForm2;

class QtProgress final : public ProgressService {
 public:
  explicit QtProgress(QWidget* parent) : parent_(parent) {}
  ~QtProgress() override;
  void Begin(const std::string& text) override;
  void Step(int done, int total) override;
  void End() override;

 private:
  QWidget* parent_;
  QProgressDialog* dialog_ = nullptr;
};

class FileMenu final : public QObject {
  Q_OBJECT
 public:
  // Puts the menu in front of the window's menus; the object is a child of
  // `window`. `form` must outlive it; `libraryDir` as for SgfFileCommands.
  FileMenu(TForm2& window, MainForm& form, std::string libraryDir);

  // Headless (the driver): no dialog is shown; a file dialog answers with
  // the path given by SetNextPath, or is cancelled when there is none.
  void SetHeadless(bool headless) { headless_ = headless; }
  void SetNextPath(std::string path) { nextPath_ = std::move(path); }

 private:
  // The file chosen; empty when the dialog was cancelled.
  std::string ChooseFile(bool save, const QString& suggestedName);
  void ImportClicked();
  void ExportClicked(ExportScope scope);

  TForm2& window_;
  QtProgress progress_;
  SgfFileCommands commands_;
  bool headless_ = false;
  std::optional<std::string> nextPath_;
};

}  // namespace sorabeku
