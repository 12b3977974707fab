#include "training/library_screens.h"

namespace sorabeku {

LibraryScreens::LibraryScreens(ProblemQueries& dataModule, MainForm& form)
    : queries_(dataModule),
      contents_(queries_.KuraQuery1()),
      rows_(queries_.KuraQuery2()),
      training_(form, queries_) {
  form.contentsSource = &contents_;
  form.rowsSource = &rows_;
  training_.Install();
}

}  // namespace sorabeku
