#include "form/point.h"

namespace sorabeku {

static_assert(PointOf(0, 0) == 1);
static_assert(PointOf(18, 18) == kPointCount);
static_assert(ColumnOf(PointOf(7, 3)) == 7 && RowOf(PointOf(7, 3)) == 3);

}  // namespace sorabeku
