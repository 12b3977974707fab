#include "app/qt/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/qt/qt_look.h"

namespace sorabeku {

HelpWindow::HelpWindow() {
  setWindowTitle(QString::fromUtf8("ソラベク ヘルプ"));
  setOpenExternalLinks(false);
  resize(640, 600);
}

void HelpWindow::ShowContents(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    QMessageBox::warning(nullptr, windowTitle(),
                         QString::fromUtf8("ヘルプファイル %1 を開けません。")
                             .arg(QFileInfo(path).fileName()));
    return;
  }
  const QFileInfo info(path);
  setSearchPaths({info.absolutePath()});
  document()->setBaseUrl(QUrl::fromLocalFile(info.absolutePath() + "/"));
  setHtml(QString::fromUtf8(file.readAll()));
  show();
  raise();
  activateWindow();
}

}  // namespace sorabeku
