#include "library/data_set_problem_rows.h"

#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {

int DataSetProblemRows::Tes() const { return RowInt(rows_, figure::TES); }
int DataSetProblemRows::Pst() const { return RowInt(rows_, figure::PST); }
int DataSetProblemRows::Tnb() const { return RowInt(rows_, figure::TNB); }

bool DataSetProblemRows::LocateTnb(int tnb) {
  return rows_.Locate("TNB", {std::int64_t{tnb}});
}

}  // namespace sorabeku
