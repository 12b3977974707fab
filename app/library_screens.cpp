#include "app/library_screens.h"

namespace sorabeku {

LibraryScreens::LibraryScreens(ProblemQueries& dataModule, MainForm& form)
    : queries_(dataModule),
      contents_(queries_.KuraQuery1()),
      rows_(queries_.KuraQuery2()),
      training_(form, queries_),
      editing_(form, queries_, training_) {
  form.contentsSource = &contents_;
  form.rowsSource = &rows_;
  training_.Install();
  editing_.Install();
}

}  // namespace sorabeku
