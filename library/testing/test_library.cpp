#include "library/testing/test_library.h"

#include "library/move_row.h"

namespace sorabeku::testing {

void TestLibrary::AddWorkedExample() {
  AddProblem(12, 5, "example");
  AddRow({.mnb = 12, .col = 1, .pst = 45, .bto = kRootMarker});
  AddRow({.mnb = 12, .col = 2, .pst = 46});
  AddRow({.mnb = 12, .col = 1, .pst = 64, .bfr = 1});
  AddRow({.mnb = 12, .tes = 1, .col = 1, .pst = 83, .bto = 1});
  AddRow({.mnb = 12, .tes = 2, .col = 2, .pst = 84, .bfr = 2});
  AddRow({.mnb = 12, .tes = 3, .col = 1, .pst = 85, .bto = 2, .cmt = "*"});
  AddRow({.mnb = 12, .tes = 4, .col = 2, .pst = 86, .bfr = 3});
  AddRow({.mnb = 12, .tes = 1, .col = -1, .pst = 102, .bfr = 4, .bto = 1});
}

}  // namespace sorabeku::testing
