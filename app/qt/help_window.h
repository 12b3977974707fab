// The help viewer: a window that shows the help file, an HTML document,
// with the pictures beside it.
#pragma once

#include <QTextBrowser>

namespace sorabeku {

class HelpWindow : public QTextBrowser {
  Q_OBJECT
 public:
  HelpWindow();
  // Shows the contents page (the start) of the help file at `path` and
  // raises the window; a missing file is reported in a message box.
  void ShowContents(const QString& path);
};

}  // namespace sorabeku
