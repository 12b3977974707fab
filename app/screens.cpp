#include "app/screens.h"

namespace sorabeku {

void InstallScreens(MainForm&) {}

}  // namespace sorabeku
