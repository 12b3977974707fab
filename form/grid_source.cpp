#include "form/grid_source.h"

namespace sorabeku {

void GridSource::Delete(int) {
  throw std::logic_error("the rows of this grid cannot be deleted");
}

std::vector<GridColumn> ContentsColumns() {
  return {{"MNB", "番号", 30}, {"SIZE", "評価", 30}, {"CMT", "説明", 82}};
}

std::vector<GridColumn> ProblemRowColumns() {
  std::vector<GridColumn> columns;
  for (const char* field : {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"}) {
    columns.push_back({field, field, 28});
  }
  columns.push_back({"CMT", "CMT", 30});
  columns.push_back({"DIX", "DIX", 32});
  return columns;
}

}  // namespace sorabeku
