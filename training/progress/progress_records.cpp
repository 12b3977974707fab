#include "training/progress/progress_records.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "engine/component/kura_query.h"
#include "engine/component/kura_session.h"
#include "engine/errors/error_codes.h"
#include "engine/errors/kura_error.h"
#include "engine/storage/storage_session.h"
#include "engine/storage/table_repair.h"

namespace sorabeku::progress {

namespace {

constexpr const char* kDatabase = "gakushu";
constexpr std::size_t kLibraryBytes = 250;

constexpr const char* kCreate =
    "CREATE TABLE kiroku (ID AUTOINC, LIB VARCHAR(250), MNB INTEGER, FPR CHAR(16), "
    "SECS LARGEINT, STAMP VARCHAR(19), KIND SMALLINT, OKAY SMALLINT, "
    "FIRSTTRY SMALLINT, MS INTEGER, QUIZ SMALLINT, PRIMARY KEY (ID))";
constexpr const char* kInsert =
    "INSERT INTO kiroku (LIB, MNB, FPR, SECS, STAMP, KIND, OKAY, FIRSTTRY, MS, QUIZ) "
    "VALUES (:LIB, :MNB, :FPR, :SECS, :STAMP, :KIND, :OKAY, :FIRSTTRY, :MS, :QUIZ)";
constexpr const char* kSelect =
    "SELECT ID, LIB, MNB, FPR, SECS, KIND, OKAY, FIRSTTRY, MS, QUIZ FROM kiroku ORDER BY ID";

std::string LocalStamp(std::int64_t when) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string LastBytes(const std::string& text, std::size_t n) {
  return text.size() <= n ? text : text.substr(text.size() - n);
}

}  // namespace

std::string DefaultRecordsDirectory() {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share";
  }
  return (base / "sorabeku" / "gakushu").string();
}

ProgressRecords::ProgressRecords(std::string directory) : directory_(std::move(directory)) {
  static std::atomic<int> counter{0};
  sessionName_ = "ProgressRecords" + std::to_string(++counter);
  try {
    Open();
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}

ProgressRecords::~ProgressRecords() {
  try {
    insert_.reset();  // lets go of the database before the session does
    if (kura::TKuraSession* s = kura::Sessions().FindSession(sessionName_)) s->SetActive(false);
  } catch (...) {
    // Going away: every record was written when it was made.
  }
}

void ProgressRecords::Open() {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (ec) throw std::runtime_error(directory_ + ": " + ec.message());
  if (::access(directory_.c_str(), W_OK) != 0) {
    throw std::runtime_error(directory_ + ": " + std::error_code(errno, std::generic_category()).message());
  }
  kura::TKuraSession& session = kura::Sessions().AddSession(sessionName_);
  session.privateDir = std::filesystem::temp_directory_path().string();
  session.AddDatabase(kDatabase).SetDirectory(directory_);
  try {
    NewQuery(kCreate)->ExecSQL();
  } catch (const kura::EKuraEngineError& e) {
    if (e.ErrorCode() != kura::KURA_TABLEEXISTS) throw;
  }
  insert_ = NewQuery(kInsert);
  try {
    insert_->Prepare();
  } catch (const kura::EKuraEngineError& e) {
    // A program of this learner killed while appending can leave the
    // table's header behind its records: mended once, then opened again.
    if (e.ErrorCode() != kura::KURA_HEADERCORRUPT) throw;
    insert_.reset();
    kura::TDataSession repairs;
    kura::RepairTable(repairs, directory_, kRecordsTable);
    insert_ = NewQuery(kInsert);
    insert_->Prepare();
  }
}

std::unique_ptr<kura::TKuraQuery> ProgressRecords::NewQuery(const std::string& text) {
  auto q = std::make_unique<kura::TKuraQuery>();
  q->SetSessionName(sessionName_);
  q->SetDatabaseName(kDatabase);
  q->SetSQL({text});
  return q;
}

void ProgressRecords::Fail(const std::string& cause) {
  if (!error_.empty()) return;
  error_ = std::string(kCannotRecord) + cause;
  try {
    insert_.reset();
  } catch (...) {
  }
}

std::optional<std::string> ProgressRecords::TakeErrorToShow() {
  if (error_.empty() || errorShown_) return std::nullopt;
  errorShown_ = true;
  return error_;
}

bool ProgressRecords::Record(const AnswerRecord& r) {
  if (!Recording()) return false;
  try {
    kura::TParams& p = insert_->Params();
    p.ParamByName("LIB").SetAsString(LastBytes(r.library, kLibraryBytes));
    p.ParamByName("MNB").SetAsInteger(r.mnb);
    p.ParamByName("FPR").SetAsString(r.fingerprint);
    p.ParamByName("SECS").SetAsInteger(r.when);
    p.ParamByName("STAMP").SetAsString(LocalStamp(r.when));
    p.ParamByName("KIND").SetAsInteger(static_cast<int>(r.kind));
    p.ParamByName("OKAY").SetAsInteger(r.right ? 1 : 0);
    p.ParamByName("FIRSTTRY").SetAsInteger(r.firstTry ? 1 : 0);
    p.ParamByName("MS").SetAsInteger(r.millis);
    p.ParamByName("QUIZ").SetAsInteger(r.quiz ? 1 : 0);
    insert_->ExecSQL();
    return true;
  } catch (const std::exception& e) {
    Fail(e.what());
    return false;
  }
}

std::vector<AnswerRecord> ProgressRecords::ReadAll() {
  std::vector<AnswerRecord> records;
  if (!Recording()) return records;
  try {
    std::unique_ptr<kura::TKuraQuery> q = NewQuery(kSelect);
    q->Open();
    for (q->First(); !q->Eof(); q->Next()) {
      AnswerRecord r;
      r.library = q->FieldAsString(1);
      r.mnb = static_cast<int>(q->FieldAsInteger(2));
      r.fingerprint = q->FieldAsString(3);
      r.when = q->FieldAsInteger(4);
      r.kind = q->FieldAsInteger(5) == 2 ? RecordKind::kFinished : RecordKind::kAnswer;
      r.right = q->FieldAsInteger(6) != 0;
      r.firstTry = q->FieldAsInteger(7) != 0;
      r.millis = static_cast<std::int32_t>(q->FieldAsInteger(8));
      r.quiz = q->FieldAsInteger(9) != 0;
      records.push_back(std::move(r));
    }
  } catch (const std::exception& e) {
    Fail(e.what());
    records.clear();
  }
  return records;
}

}  // namespace sorabeku::progress
