#include "app/qt/application.h"

#include <QMessageBox>
#include <exception>

#include "app/asset_directory.h"
#include "main_form/main_form.h"
#include "app/qt/qt_look.h"
#include "app/qt/qt_services.h"

namespace sorabeku {

SorabekuApplication::SorabekuApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
  setApplicationName(QString::fromUtf8(kProgramTitle));
  setApplicationDisplayName(QString::fromUtf8(kProgramTitle));
  InstallFontSubstitutes();
  setFont(WindowFont());
}

bool SorabekuApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    if (onError) {
      onError(e.what());
    } else {
      QMessageBox::critical(activeWindow(), QString::fromUtf8(kProgramTitle),
                            MessageBoxText(e.what()));
    }
  }
  return false;
}

std::string ProgramDirectory() {
  return AssetDirectoryFor(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace sorabeku
