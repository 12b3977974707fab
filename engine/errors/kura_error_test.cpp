#include "engine/errors/kura_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace kura {
namespace {

// Every code of the table with the text a user sees when the names are
// table "figure", field "MNB", index "X", database "kyozai", message
// "bad thing" and operating-system error 13.
struct CodeCase {
  ErrorCode code;
  int number;
  const char* text;
};

const CodeCase kCodeCases[] = {
    {KURA_BOF, 8705, "Beginning of table 'figure' unexpectedly encountered"},
    {KURA_EOF, 8706, "End of table 'figure' unexpectedly encountered"},
    {KURA_KEYORRECDELETED, 8708, "Record has been changed or deleted by another user, session, or table cursor in the table 'figure'"},
    {KURA_NOCURRREC, 8709, "No current record in the table 'figure'"},
    {KURA_RECNOTFOUND, 8710, "Record not found in the table 'figure'"},
    {KURA_ENDOFBLOB, 8711, "End of blob data in the table 'figure' reached prematurely"},
    {KURA_HEADERCORRUPT, 8961, "Header information corrupt in the table 'figure'"},
    {KURA_FILECORRUPT, 8962, "Data record buffers corrupt in the table 'figure'"},
    {KURA_MEMOCORRUPT, 8963, "BLOB block buffers corrupt in the table 'figure'"},
    {KURA_INDEXCORRUPT, 8965, "Index page buffers corrupt in the table 'figure'"},
    {KURA_READERR, 9217, "Error reading from the table 'figure'"},
    {KURA_WRITEERR, 9218, "Error writing to the table 'figure'"},
    {KURA_FILEDELETEFAIL, 9220, "Cannot delete the table 'figure'"},
    {KURA_FILENOACCESS, 9221, "Error accessing header information for the table 'figure'"},
    {KURA_RECTOOBIG, 9477, "Maximum record size exceeded in the table 'figure'"},
    {KURA_TABLEFULL, 9479, "The table 'figure' is full and cannot contain any more data"},
    {KURA_INTERNALLIMIT, 9482, "Too many filters defined for the table 'figure'"},
    {KURA_INDEXLIMIT, 9487, "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table 'figure'"},
    {KURA_FLDLIMIT, 9492, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the table 'figure'"},
    {KURA_OPENBLOBLIMIT, 9494, "Too many blobs opened in the table 'figure'"},
    {KURA_BLOBLIMIT, 9498, "Too many blob fields or invalid blob block size specified for the table 'figure'"},
    {KURA_KEYVIOL, 9729, "Duplicate key found in the index 'X' of the table 'figure'"},
    {KURA_MINVALERR, 9730, "The value for the field 'MNB' in the table 'figure' is below the minimum allowable value"},
    {KURA_MAXVALERR, 9731, "The value for the field 'MNB' in the table 'figure' is above the maximum allowable value"},
    {KURA_REQDERR, 9732, "A value must be provided for the field 'MNB' in the table 'figure'"},
    {KURA_OUTOFRANGE, 9985, "Invalid field number or name 'MNB' specified for the table 'figure'"},
    {KURA_PRIMARYKEYREDEFINE, 9993, "A primary index is already defined for the table 'figure' and cannot be added again"},
    {KURA_INVALIDBLOBOFFSET, 9998, "Invalid blob offset into the table 'figure' specified"},
    {KURA_INVALIDFLDTYPE, 10000, "Invalid field definition specified for the field 'MNB' in the table 'figure'"},
    {KURA_INVALIDVCHKSTRUCT, 10006, "Invalid default, min or max validity check, or expression specified for the field 'MNB' in the table 'figure'"},
    {KURA_INDEXNAMEREQUIRED, 10010, "The secondary index name is missing or not specified for the table 'figure'"},
    {KURA_INVALIDPASSWORD, 10015, "Password provided for the table 'figure' is invalid"},
    {KURA_INVALIDINDEXNAME, 10022, "Invalid secondary index name 'X' specified for the table 'figure'"},
    {KURA_INVALIDIDXDESC, 10023, "Invalid field number 'MNB' specified in the index 'X' for the table 'figure'"},
    {KURA_INVALIDKEY, 10026, "Invalid key size specified in the index 'X' for the table 'figure'"},
    {KURA_INDEXEXISTS, 10027, "The secondary index 'X' already exists for the table 'figure'"},
    {KURA_INVALIDBLOBLEN, 10029, "Invalid blob length in the table 'figure'"},
    {KURA_INVALIDBLOBHANDLE, 10030, "Invalid blob handle for the table 'figure' specified"},
    {KURA_TABLEOPEN, 10031, "The table 'figure' is already in use"},
    {KURA_INVALIDFIELDNAME, 10038, "Invalid or duplicate field name 'MNB' specified for the table 'figure'"},
    {KURA_NOSUCHFILTER, 10050, "Invalid filter handle specified for the table 'figure'"},
    {KURA_INVALIDFILTER, 10051, "Filter error for the table 'figure' - bad thing"},
    {KURA_INVALIDINDEXDELETE, 10055, "The primary index cannot be removed from the table 'figure'"},
    {KURA_LOCKED, 10241, "The table 'figure' is already locked by another user"},
    {KURA_UNLOCKFAILED, 10242, "Cannot unlock table or record in the table 'figure'"},
    {KURA_LOCKTIMEOUT, 10249, "General lock failure with the table 'figure'"},
    {KURA_NEEDEXCLACCESS, 10253, "The table 'figure' must be opened exclusively"},
    {KURA_RECLOCKFAILED, 10258, "Record in the table 'figure' is in use by another user"},
    {KURA_NOTSUFFTABLERIGHTS, 10498, "Insufficient rights to the table 'figure', a password is required"},
    {KURA_NOTABLOB, 10753, "Invalid blob field 'MNB' specified for the table 'figure'"},
    {KURA_NOTINITIALIZED, 10758, "The database engine is not initialized"},
    {KURA_OSENOENT, 11010, "Table 'figure' does not exist"},
    {KURA_OSEMFILE, 11012, "Too many operating system files open while attempting to open the table 'figure'"},
    {KURA_OSEACCES, 11013, "Access denied to table 'figure'"},
    {KURA_OSEBADF, 11014, "Invalid operating system file handle for the table 'figure'"},
    {KURA_OSENOMEM, 11016, "There is insufficient operating system memory available for the current operation"},
    {KURA_OSEINVMEM, 11017, "Invalid length for the in-memory table 'figure'"},
    {KURA_OSENODEV, 11023, "Access denied to logical operating system device for the table 'figure'"},
    {KURA_OSENOTSAM, 11025, "The table 'figure' has been moved"},
    {KURA_OSUNKNOWN, 11047, "An unknown operating system error 13 occurred with the table 'figure'"},
    {KURA_IMPORTERROR, 11300, "An error occurred during the import into the table 'figure' - bad thing"},
    {KURA_EXPORTERROR, 11301, "An error occurred during the export from the table 'figure' - bad thing"},
    {KURA_SQLPARSE, 11949, "SQL error - bad thing"},
    {KURA_OLDVERSION, 12035, "The table 'figure' is not the correct version"},
    {KURA_SEARCHCOLREQD, 12292, "Invalid field 'MNB' specified for the index 'X' in the table 'figure'"},
    {KURA_TABLEEXISTS, 13060, "The table 'figure' already exists"},
    {KURA_COMPRESS, 15001, "Error compressing data"},
    {KURA_UNCOMPRESS, 15002, "Error uncompressing data"},
    {KURA_CANNOTLOADLDDRV, 15878, "The language driver for the table 'figure' is not available or installed"},};

ErrorNames SampleNames() {
  ErrorNames n;
  n.server = "srv";
  n.user = "someone";
  n.message = "bad thing";
  n.index = "X";
  n.field = "MNB";
  n.table = "figure";
  n.database = "kyozai";
  return n;
}

TEST(ErrorCodeTable, EveryCodeHasItsTextWithNamesInOrder) {
  for (const CodeCase& c : kCodeCases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(c.code, c.number);
    try {
      RaiseWithOsError(c.code, 13, SampleNames());
      FAIL() << "Raise returned";
    } catch (const EKuraEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), c.number);
      EXPECT_EQ(std::string(e.what()),
                "Kura Engine Error # " + std::to_string(c.number) + " " + c.text);
    }
  }
}

TEST(ErrorCodeTable, PositionalRaiseFillsTheRightNames) {
  try {
    Raise(KURA_SEARCHCOLREQD, "srv", "usr", "msg", "idx", "fld", "tbl", "db");
  } catch (const EKuraEngineError& e) {
    EXPECT_STREQ(e.what(),
                 "Kura Engine Error # 12292 Invalid field 'fld' specified for "
                 "the index 'idx' in the table 'tbl'");
    EXPECT_EQ(e.ServerName(), "srv");
    EXPECT_EQ(e.UserName(), "usr");
    EXPECT_EQ(e.MessageText(), "msg");
    EXPECT_EQ(e.IndexName(), "idx");
    EXPECT_EQ(e.FieldName(), "fld");
    EXPECT_EQ(e.TableName(), "tbl");
    EXPECT_EQ(e.DatabaseName(), "db");
    return;
  }
  FAIL();
}

TEST(ErrorText, CodeWithoutTemplateIsUnknown) {
  EXPECT_EQ(ErrorText(1, {}, 0), "An unknown error occurred");
  EXPECT_EQ(ErrorText(KURA_REMOTECALLBACK, {}, 0), "An unknown error occurred");
  EXPECT_EQ(ErrorMessage(4242, {}, 0),
            "Kura Engine Error # 4242 An unknown error occurred");
}

TEST(ErrorText, LongTextIsCutTo254Characters) {
  ErrorNames n;
  n.message = std::string(300, 'm');  // context keeps 255 of them
  try {
    Raise(KURA_SQLPARSE, n);
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.MessageText().size(), 255u);
    const std::string text = std::string("SQL error - ") + std::string(242, 'm');
    ASSERT_EQ(text.size(), 254u);
    EXPECT_EQ(std::string(e.what()), "Kura Engine Error # 11949 " + text);
    return;
  }
  FAIL();
}

TEST(ErrorText, OsErrorCodeIsTakenFromErrnoAtRaise) {
  errno = ENOSPC;
  try {
    Raise(KURA_OSUNKNOWN, {.table = "figure"});
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.OSErrorCode(), ENOSPC);
    EXPECT_EQ(e.SocketErrorCode(), 0);
    EXPECT_EQ(std::string(e.what()),
              "Kura Engine Error # 11047 An unknown operating system error " +
                  std::to_string(ENOSPC) + " occurred with the table 'figure'");
    return;
  }
  FAIL();
}

TEST(ErrorCodeOf, EngineErrorsGiveTheirCodeOthers11047) {
  try {
    Raise(KURA_KEYVIOL, {.index = "X", .table = "figure"});
  } catch (const std::exception& e) {
    EXPECT_EQ(ErrorCodeOf(e), 9729);
    EXPECT_EQ(ErrorCodeOf(std::current_exception()), 9729);
  }
  std::runtime_error other("boom");
  EXPECT_EQ(ErrorCodeOf(other), 11047);
  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(42)), 11047);
}

TEST(ErrorContext, ThreadsRaisingAtOnceEachGetTheirOwnValues) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 2000;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &mismatches] {
      const std::string table = "table" + std::to_string(t);
      const std::string index = "index" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        try {
          RaiseWithOsError(KURA_KEYVIOL, t, {.index = index, .table = table});
        } catch (const EKuraEngineError& e) {
          const std::string expected = "Kura Engine Error # 9729 Duplicate key found in the index '" +
                                       index + "' of the table '" + table + "'";
          if (e.TableName() != table || e.IndexName() != index ||
              e.OSErrorCode() != t || e.what() != expected) {
            ++mismatches[t];
          }
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

}  // namespace
}  // namespace kura
