// LibraryScreens: what joins the problem library to the main form: the
// library's results in UTF-8, the two grids' rows, and the training and
// editing screens' handlers. The program creates one after the data module and
// the form, and keeps it as long as both.
#pragma once

#include "editing/editing_screen.h"
#include "library/data_set_grid_source.h"
#include "library/problem_queries.h"
#include "library/shift_jis_data_set.h"
#include "main_form/main_form.h"
#include "training/training_screen.h"

namespace sorabeku {

class LibraryScreens {
 public:
  // `dataModule` (the queries over the tables, in their Shift-JIS bytes)
  // and `form` must outlive this. Installs the contents and problem-row
  // sources (DBGrid1; DBGrid2 and DBEdit1) and the handlers of the training
  // and editing screens into `form`.
  LibraryScreens(ProblemQueries& dataModule, MainForm& form);

  LibraryScreens(const LibraryScreens&) = delete;
  LibraryScreens& operator=(const LibraryScreens&) = delete;

  ProblemQueries& queries() { return queries_; }
  TrainingScreen& training() { return training_; }
  EditingScreen& editing() { return editing_; }

 private:
  ShiftJisQueries queries_;
  DataSetGridSource contents_;
  DataSetGridSource rows_;
  TrainingScreen training_;
  EditingScreen editing_;
};

}  // namespace sorabeku
