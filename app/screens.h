// Where the screens of the program join the main form: the training and
// editing screens and the problem library install their handlers here.
#pragma once

#include "app/main_form.h"

namespace sorabeku {

// Installs every screen's handlers and data sources into `form`. Until the
// problem library and the two screens are part of the program it installs
// nothing, and the form's OpenContents does nothing.
void InstallScreens(MainForm& form);

}  // namespace sorabeku
