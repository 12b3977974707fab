#include "library/problem_store.h"

#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {

namespace {

bool LocateContents(ProblemQueries& queries, int number) {
  const int section = SectionOf(number);
  if (section == 0) return false;
  queries.OpenContents(section, 0);
  return queries.KuraQuery1().Locate("MNB", {std::int64_t{number}});
}

ProblemRow ReadRow(kura::TDataSet& r) {
  ProblemRow row;
  row.tes = RowInt(r, figure::TES);
  row.col = RowInt(r, figure::COL);
  row.pst = RowInt(r, figure::PST);
  row.bfr = RowInt(r, figure::BFR);
  row.bto = RowInt(r, figure::BTO);
  row.cmt = r.FieldAsString(figure::CMT);
  row.dix = RowInt(r, figure::DIX);
  return row;
}

void AppendContentsRow(ProblemQueries& queries, const ProblemRecord& p) {
  queries.OpenContents(SectionOf(p.number), 0);
  kura::TDataSet& c = queries.KuraQuery1();
  c.Append();
  c.SetFieldAsInteger(mokuji::MNB, p.number);
  if (p.grade) c.SetFieldAsInteger(mokuji::SIZE, *p.grade);
  if (!p.description.empty()) c.SetFieldAsString(mokuji::CMT, p.description);
  c.Post();
}

// Each row is written as registration writes it: BFR and BTO only where
// they are set; TNB is the row's position, as after a renumbering.
void AppendRows(ProblemQueries& queries, const ProblemRecord& p) {
  queries.OpenProblemRows(p.number);
  kura::TDataSet& r = queries.KuraQuery2();
  int position = 0;
  for (const ProblemRow& row : p.rows) {
    r.Append();
    r.SetFieldAsInteger(figure::MNB, p.number);
    r.SetFieldAsInteger(figure::TES, row.tes);
    r.SetFieldAsInteger(figure::COL, row.col);
    r.SetFieldAsInteger(figure::PST, row.pst);
    if (row.bfr != 0) r.SetFieldAsInteger(figure::BFR, row.bfr);
    if (row.bto != 0) r.SetFieldAsInteger(figure::BTO, row.bto);
    r.SetFieldAsInteger(figure::TNB, ++position);
    if (!row.cmt.empty()) r.SetFieldAsString(figure::CMT, row.cmt);
    r.SetFieldAsInteger(figure::DIX, row.dix);
    r.Post();
  }
}

}  // namespace

std::vector<int> ListSection(ProblemQueries& queries, int section) {
  queries.OpenContents(section, 0);
  kura::TDataSet& c = queries.KuraQuery1();
  std::vector<int> numbers;
  for (c.First(); !c.Eof(); c.Next()) numbers.push_back(RowInt(c, mokuji::MNB));
  return numbers;
}

std::optional<ProblemRecord> ReadProblem(ProblemQueries& queries, int number) {
  ProblemRecord p;
  p.number = number;
  const bool listed = LocateContents(queries, number);
  if (listed) {
    kura::TDataSet& c = queries.KuraQuery1();
    if (!c.FieldIsNull(mokuji::SIZE)) p.grade = RowInt(c, mokuji::SIZE);
    p.description = c.FieldAsString(mokuji::CMT);
  }
  queries.OpenProblemRows(number);
  kura::TDataSet& r = queries.KuraQuery2();
  for (r.First(); !r.Eof(); r.Next()) p.rows.push_back(ReadRow(r));
  if (!listed && p.rows.empty()) return std::nullopt;
  return p;
}

bool NumberInUse(ProblemQueries& queries, int number) {
  if (LocateContents(queries, number)) return true;
  queries.OpenProblemRows(number);
  return queries.KuraQuery2().RecordCount() > 0;
}

void AppendProblems(ProblemQueries& queries, const std::vector<ProblemRecord>& problems,
                    const std::function<void(int)>& progress) {
  for (const ProblemRecord& p : problems) {
    if (SectionOf(p.number) == 0) {
      throw ProblemNotAdded("problem number " + std::to_string(p.number) + " belongs to no section");
    }
    if (NumberInUse(queries, p.number)) {
      throw ProblemNotAdded("problem number " + std::to_string(p.number) +
                            " is already in the library; nothing was imported");
    }
  }
  queries.StartTransaction();
  try {
    int done = 0;
    for (const ProblemRecord& p : problems) {
      AppendContentsRow(queries, p);
      AppendRows(queries, p);
      if (progress) progress(++done);
    }
  } catch (...) {
    queries.Rollback();
    throw;
  }
  queries.Commit();
}

}  // namespace sorabeku
