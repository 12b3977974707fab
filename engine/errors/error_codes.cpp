#include "engine/errors/error_codes.h"

#include <algorithm>
#include <array>

namespace kura {
namespace {

using S = ErrorSlot;

constexpr ErrorTemplate T(ErrorCode code, std::string_view text) {
  return {code, text, {}, 0};
}
constexpr ErrorTemplate T(ErrorCode code, std::string_view text, S a) {
  return {code, text, {a}, 1};
}
constexpr ErrorTemplate T(ErrorCode code, std::string_view text, S a, S b) {
  return {code, text, {a, b}, 2};
}
constexpr ErrorTemplate T(ErrorCode code, std::string_view text, S a, S b, S c) {
  return {code, text, {a, b, c}, 3};
}

// Sorted by code; FindErrorTemplate searches it by bisection.
constexpr auto kTemplates = std::to_array<ErrorTemplate>({
  T(KURA_BOF, "Beginning of table '%s' unexpectedly encountered", S::kTable),
  T(KURA_EOF, "End of table '%s' unexpectedly encountered", S::kTable),
  T(KURA_KEYORRECDELETED, "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", S::kTable),
  T(KURA_NOCURRREC, "No current record in the table '%s'", S::kTable),
  T(KURA_RECNOTFOUND, "Record not found in the table '%s'", S::kTable),
  T(KURA_ENDOFBLOB, "End of blob data in the table '%s' reached prematurely", S::kTable),
  T(KURA_HEADERCORRUPT, "Header information corrupt in the table '%s'", S::kTable),
  T(KURA_FILECORRUPT, "Data record buffers corrupt in the table '%s'", S::kTable),
  T(KURA_MEMOCORRUPT, "BLOB block buffers corrupt in the table '%s'", S::kTable),
  T(KURA_INDEXCORRUPT, "Index page buffers corrupt in the table '%s'", S::kTable),
  T(KURA_READERR, "Error reading from the table '%s'", S::kTable),
  T(KURA_WRITEERR, "Error writing to the table '%s'", S::kTable),
  T(KURA_FILEDELETEFAIL, "Cannot delete the table '%s'", S::kTable),
  T(KURA_FILENOACCESS, "Error accessing header information for the table '%s'", S::kTable),
  T(KURA_RECTOOBIG, "Maximum record size exceeded in the table '%s'", S::kTable),
  T(KURA_TABLEFULL, "The table '%s' is full and cannot contain any more data", S::kTable),
  T(KURA_INTERNALLIMIT, "Too many filters defined for the table '%s'", S::kTable),
  T(KURA_INDEXLIMIT, "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '%s'", S::kTable),
  T(KURA_FLDLIMIT, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the table '%s'", S::kTable),
  T(KURA_OPENBLOBLIMIT, "Too many blobs opened in the table '%s'", S::kTable),
  T(KURA_BLOBLIMIT, "Too many blob fields or invalid blob block size specified for the table '%s'", S::kTable),
  T(KURA_KEYVIOL, "Duplicate key found in the index '%s' of the table '%s'", S::kIndex, S::kTable),
  T(KURA_MINVALERR, "The value for the field '%s' in the table '%s' is below the minimum allowable value", S::kField, S::kTable),
  T(KURA_MAXVALERR, "The value for the field '%s' in the table '%s' is above the maximum allowable value", S::kField, S::kTable),
  T(KURA_REQDERR, "A value must be provided for the field '%s' in the table '%s'", S::kField, S::kTable),
  T(KURA_OUTOFRANGE, "Invalid field number or name '%s' specified for the table '%s'", S::kField, S::kTable),
  T(KURA_PRIMARYKEYREDEFINE, "A primary index is already defined for the table '%s' and cannot be added again", S::kTable),
  T(KURA_INVALIDBLOBOFFSET, "Invalid blob offset into the table '%s' specified", S::kTable),
  T(KURA_INVALIDFLDTYPE, "Invalid field definition specified for the field '%s' in the table '%s'", S::kField, S::kTable),
  T(KURA_INVALIDVCHKSTRUCT, "Invalid default, min or max validity check, or expression specified for the field '%s' in the table '%s'", S::kField, S::kTable),
  T(KURA_INDEXNAMEREQUIRED, "The secondary index name is missing or not specified for the table '%s'", S::kTable),
  T(KURA_INVALIDPASSWORD, "Password provided for the table '%s' is invalid", S::kTable),
  T(KURA_INVALIDINDEXNAME, "Invalid secondary index name '%s' specified for the table '%s'", S::kIndex, S::kTable),
  T(KURA_INVALIDIDXDESC, "Invalid field number '%s' specified in the index '%s' for the table '%s'", S::kField, S::kIndex, S::kTable),
  T(KURA_INVALIDKEY, "Invalid key size specified in the index '%s' for the table '%s'", S::kIndex, S::kTable),
  T(KURA_INDEXEXISTS, "The secondary index '%s' already exists for the table '%s'", S::kIndex, S::kTable),
  T(KURA_INVALIDBLOBLEN, "Invalid blob length in the table '%s'", S::kTable),
  T(KURA_INVALIDBLOBHANDLE, "Invalid blob handle for the table '%s' specified", S::kTable),
  T(KURA_TABLEOPEN, "The table '%s' is already in use", S::kTable),
  T(KURA_INVALIDFIELDNAME, "Invalid or duplicate field name '%s' specified for the table '%s'", S::kField, S::kTable),
  T(KURA_NOSUCHFILTER, "Invalid filter handle specified for the table '%s'", S::kTable),
  T(KURA_INVALIDFILTER, "Filter error for the table '%s' - %s", S::kTable, S::kMessage),
  T(KURA_INVALIDINDEXDELETE, "The primary index cannot be removed from the table '%s'", S::kTable),
  T(KURA_LOCKED, "The table '%s' is already locked by another user", S::kTable),
  T(KURA_UNLOCKFAILED, "Cannot unlock table or record in the table '%s'", S::kTable),
  T(KURA_LOCKTIMEOUT, "General lock failure with the table '%s'", S::kTable),
  T(KURA_NEEDEXCLACCESS, "The table '%s' must be opened exclusively", S::kTable),
  T(KURA_RECLOCKFAILED, "Record in the table '%s' is in use by another user", S::kTable),
  T(KURA_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '%s', a password is required", S::kTable),
  T(KURA_NOTABLOB, "Invalid blob field '%s' specified for the table '%s'", S::kField, S::kTable),
  T(KURA_NOTINITIALIZED, "The database engine is not initialized"),
  T(KURA_OSENOENT, "Table '%s' does not exist", S::kTable),
  T(KURA_OSEMFILE, "Too many operating system files open while attempting to open the table '%s'", S::kTable),
  T(KURA_OSEACCES, "Access denied to table '%s'", S::kTable),
  T(KURA_OSEBADF, "Invalid operating system file handle for the table '%s'", S::kTable),
  T(KURA_OSENOMEM, "There is insufficient operating system memory available for the current operation"),
  T(KURA_OSEINVMEM, "Invalid length for the in-memory table '%s'", S::kTable),
  T(KURA_OSENODEV, "Access denied to logical operating system device for the table '%s'", S::kTable),
  T(KURA_OSENOTSAM, "The table '%s' has been moved", S::kTable),
  T(KURA_OSUNKNOWN, "An unknown operating system error %s occurred with the table '%s'", S::kOsErrorCode, S::kTable),
  // The client/server mode is not used by the program; these texts only
  // need to name the server, and the user and database where they apply.
  T(KURA_REMOTECOMMLOST, "Communication with the database server '%s' was lost", S::kServer),
  T(KURA_REMOTEUNKNOWN, "An unknown error occurred with the database server '%s'", S::kServer),
  T(KURA_REMOTECONNECT, "Cannot connect to the database server '%s'", S::kServer),
  T(KURA_REMOTENOLOGIN, "The database server '%s' does not accept logins", S::kServer),
  T(KURA_REMOTEMAXCONNECT, "The maximum number of connections to the database server '%s' has been reached", S::kServer),
  T(KURA_REMOTEADDRESSBLOCK, "This address is blocked by the database server '%s'", S::kServer),
  T(KURA_REMOTECALLBACKERR, "A callback failed on the database server '%s'", S::kServer),
  T(KURA_REMOTEVERSION, "The database server '%s' is of another version", S::kServer),
  T(KURA_REMOTEINVLOGIN, "Invalid login for the user '%s' on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTENOTAUTH, "The user '%s' is not authorized on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTENOTADMIN, "The user '%s' is not an administrator on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTEINVUSER, "Invalid user '%s' on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTENOUSER, "The user '%s' does not exist on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTEDUPUSER, "The user '%s' already exists on the database server '%s'", S::kUser, S::kServer),
  T(KURA_REMOTEINVDB, "Invalid database '%s' on the database server '%s'", S::kDatabase, S::kServer),
  T(KURA_REMOTENODB, "The database '%s' does not exist on the database server '%s'", S::kDatabase, S::kServer),
  T(KURA_REMOTEDUPDB, "The database '%s' already exists on the database server '%s'", S::kDatabase, S::kServer),
  T(KURA_REMOTEINVDBUSER, "Invalid user '%s' for the database '%s' on the database server '%s'", S::kUser, S::kDatabase, S::kServer),
  T(KURA_REMOTENODBUSER, "The user '%s' has no rights to the database '%s' on the database server '%s'", S::kUser, S::kDatabase, S::kServer),
  T(KURA_REMOTEDUPDBUSER, "The user '%s' already has rights to the database '%s' on the database server '%s'", S::kUser, S::kDatabase, S::kServer),
  T(KURA_REMOTEINVREQUEST, "Invalid request sent to the database server '%s'", S::kServer),
  T(KURA_IMPORTERROR, "An error occurred during the import into the table '%s' - %s", S::kTable, S::kMessage),
  T(KURA_EXPORTERROR, "An error occurred during the export from the table '%s' - %s", S::kTable, S::kMessage),
  T(KURA_SQLPARSE, "SQL error - %s", S::kMessage),
  T(KURA_OLDVERSION, "The table '%s' is not the correct version", S::kTable),
  T(KURA_SEARCHCOLREQD, "Invalid field '%s' specified for the index '%s' in the table '%s'", S::kField, S::kIndex, S::kTable),
  T(KURA_TABLEEXISTS, "The table '%s' already exists", S::kTable),
  T(KURA_COMPRESS, "Error compressing data"),
  T(KURA_UNCOMPRESS, "Error uncompressing data"),
  T(KURA_CANNOTLOADLDDRV, "The language driver for the table '%s' is not available or installed", S::kTable),
});

constexpr bool IsSortedByCode() {
  for (std::size_t i = 1; i < kTemplates.size(); ++i) {
    if (kTemplates[i - 1].code >= kTemplates[i].code) return false;
  }
  return true;
}
static_assert(IsSortedByCode(), "error templates must be sorted by code");

}  // namespace

const ErrorTemplate* FindErrorTemplate(ErrorCode code) {
  auto it = std::lower_bound(
      kTemplates.begin(), kTemplates.end(), code,
      [](const ErrorTemplate& t, ErrorCode c) { return t.code < c; });
  if (it == kTemplates.end() || it->code != code) return nullptr;
  return &*it;
}

}  // namespace kura
