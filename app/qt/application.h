// The Qt application of the program and of its driver.
#pragma once

#include <QApplication>
#include <functional>
#include <string>

namespace sorabeku {

class SorabekuApplication : public QApplication {
  Q_OBJECT
 public:
  // Sets the application title and the font substitutes.
  SorabekuApplication(int& argc, char** argv);

  // Delivers an event; an exception that escapes its handling ends that
  // event and goes to onError (an error box unless set otherwise), and the
  // program keeps running.
  bool notify(QObject* receiver, QEvent* event) override;

  std::function<void(const std::string&)> onError;
};

// The directory of the program's assets, ending in '/': the running
// executable's, or share/sorabeku of the prefix it is installed in
// (AssetDirectoryFor).
std::string ProgramDirectory();

}  // namespace sorabeku
