#include "library/data_module.h"

#include "library/library_statements.h"

namespace sorabeku {

namespace {

void SetUp(kura::TKuraQuery& q, const std::string& sessionName) {
  q.SetSessionName(sessionName);
  q.SetDatabaseName("kyozai");
  q.SetRequestLive(true);
  q.SetMaxRowCount(-1);
  q.AutoDisplayLabels = false;
  q.CopyOnAppend = false;
}

void Reopen(kura::TKuraQuery& q, const StatementLines& s, int parameter) {
  q.Close();
  q.ClearSQL();
  for (const std::string& line : s.lines) q.AddSQL(line);
  if (s.hasParameter) q.Params()[0].SetAsInteger(parameter);
  q.Open();
}

}  // namespace

TDataModule1::TDataModule1(const std::string& sessionName) {
  SetUp(kuraQuery1_, sessionName);
  SetUp(kuraQuery2_, sessionName);
  SetUp(kuraQuery4_, sessionName);
  kuraQuery2_.AddSQL("select * from figure");
  kuraQuery4_.AddSQL("select * from figure");
  dataSource1_.SetDataSet(&kuraQuery1_);
  dataSource2_.SetDataSet(&kuraQuery2_);
  dataSource4_.SetDataSet(&kuraQuery4_);
}

TDataModule1::~TDataModule1() {
  try {
    kuraQuery1_.Close();
    kuraQuery2_.Close();
  } catch (...) {
    // Destroying the module: the queries go with it.
  }
}

void TDataModule1::OpenContents(int section, int mode) {
  Reopen(kuraQuery1_, ContentsStatement(section, mode), mode);
}

void TDataModule1::OpenProblemRows(int problem) {
  Reopen(kuraQuery2_, ProblemRowsStatement(), problem);
}

void TDataModule1::OpenBranchPoints(int problem) {
  Reopen(kuraQuery4_, BranchPointsStatement(), problem);
}

}  // namespace sorabeku
