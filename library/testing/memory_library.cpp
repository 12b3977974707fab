#include "library/testing/memory_library.h"

#include "engine/errors/database_error.h"
#include "library/move_row.h"

namespace sorabeku::testing {

namespace {

std::shared_ptr<MemoryTable> FigureTable() {
  using T = MemoryFieldType;
  return std::make_shared<MemoryTable>(std::vector<MemoryField>{
      {"MNB", T::kInteger}, {"TES", T::kInteger}, {"COL", T::kInteger},
      {"PST", T::kInteger}, {"BFR", T::kInteger}, {"BTO", T::kInteger},
      {"TNB", T::kInteger}, {"CMT", T::kString}, {"DIX", T::kInteger}});
}

std::shared_ptr<MemoryTable> MokujiTable() {
  using T = MemoryFieldType;
  return std::make_shared<MemoryTable>(std::vector<MemoryField>{
      {"MNB", T::kInteger}, {"SIZE", T::kInteger}, {"CMT", T::kString}});
}

MemoryValue IntOrNull(int v) { return v == 0 ? Null() : Int(v); }

}  // namespace

MemoryLibrary::MemoryLibrary()
    : figure_(FigureTable()), mokuji_(MokujiTable()),
      query1_(mokuji_), query2_(figure_), query4_(figure_) {}

// "Select * from mokuji" / "Where (MNB > low and MNB < high[ and SIZE =
// :SIZE])" / "Order By MNB".
void MemoryLibrary::OpenContents(int section, int mode) {
  const int low = SectionLow(section);
  const int high = SectionHigh(section);
  query1_.SetQuery(
      [low, high, mode](const MemoryRecord& r) {
        const auto mnb = r.Int(mokuji::MNB);
        return mnb > low && mnb < high &&
               (mode <= 0 || r.Int(mokuji::SIZE) == mode);
      },
      mokuji::MNB);
  query1_.Open();
}

// "select * from figure" / "Where MNB = :MNB": record order.
void MemoryLibrary::OpenProblemRows(int problem) {
  query2_.SetQuery(IntFieldEquals(figure::MNB, problem));
  query2_.Open();
}

// "Select *" / "From figure" / "Where (MNB = :MNB) and (BFR > 0) order by
// BFR".
void MemoryLibrary::OpenBranchPoints(int problem) {
  query4_.SetQuery(
      [problem](const MemoryRecord& r) {
        return r.Int(figure::MNB) == problem && r.Int(figure::BFR) > 0;
      },
      figure::BFR);
  query4_.Open();
}

void MemoryLibrary::StartTransaction() {
  if (saved_) kura::DatabaseError("A transaction is already active.");
  saved_ = Saved{figure_->Save(), mokuji_->Save()};
}

void MemoryLibrary::Commit() { saved_.reset(); }

void MemoryLibrary::Rollback() {
  if (!saved_) return;
  for (MemoryDataSet* q : {&query1_, &query2_, &query4_}) {
    if (q->Active()) q->Cancel();
  }
  figure_->Restore(std::move(saved_->figure));
  mokuji_->Restore(std::move(saved_->mokuji));
  saved_.reset();
}

void MemoryLibrary::AddRow(const FigureRow& row) {
  figure_->AppendRecord({Int(row.mnb), Int(row.tes), Int(row.col),
                         Int(row.pst), IntOrNull(row.bfr), IntOrNull(row.bto),
                         IntOrNull(row.tnb),
                         row.cmt.empty() ? Null() : Str(row.cmt),
                         Int(row.dix)});
}

void MemoryLibrary::AddProblem(int mnb, int size, const std::string& cmt) {
  mokuji_->AppendRecord({Int(mnb), Int(size), cmt.empty() ? Null() : Str(cmt)});
}

}  // namespace sorabeku::testing
