#include "form/grid_source.h"

#include <string>

namespace sorabeku {

void GridSource::Delete(int) {
  throw std::logic_error("the rows of this grid cannot be deleted");
}

std::vector<GridColumn> ContentsColumns() {
  return {{"MNB", "番号", 30}, {"SIZE", "評価", 30}, {"CMT", "説明", 82, true}};
}

std::vector<GridColumn> ProblemRowColumns() {
  std::vector<GridColumn> columns;
  for (const char* field : {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"}) {
    columns.push_back({field, field, 28});
  }
  columns.push_back({"CMT", "CMT", 30, true});
  columns.push_back({"DIX", "DIX", 32});
  return columns;
}

int CommentRow(const GridSource& rows, const CommentLink& link, bool training) {
  if (rows.RowCount() == 0) return -1;
  const int current = rows.CurrentRow();
  if (!training || link.endTnb <= 0 || link.questionTnb <= 0) return current;
  if (rows.Text(current, "TNB") != std::to_string(link.endTnb)) return current;
  // Rows are numbered by their position when a problem is loaded; a row
  // deleted since then leaves the field on the current row.
  const int question = link.questionTnb - 1;
  if (question >= rows.RowCount() ||
      rows.Text(question, "TNB") != std::to_string(link.questionTnb)) {
    return current;
  }
  return question;
}

}  // namespace sorabeku
