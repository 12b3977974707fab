// The engine's error codes and their message templates.
#pragma once

#include <cstdint>
#include <string_view>

namespace kura {

using ErrorCode = std::uint16_t;

// Cursor positions and record access.
inline constexpr ErrorCode KURA_BOF = 8705;
inline constexpr ErrorCode KURA_EOF = 8706;
inline constexpr ErrorCode KURA_KEYORRECDELETED = 8708;
inline constexpr ErrorCode KURA_NOCURRREC = 8709;
inline constexpr ErrorCode KURA_RECNOTFOUND = 8710;
inline constexpr ErrorCode KURA_ENDOFBLOB = 8711;
// Damaged files.
inline constexpr ErrorCode KURA_HEADERCORRUPT = 8961;
inline constexpr ErrorCode KURA_FILECORRUPT = 8962;
inline constexpr ErrorCode KURA_MEMOCORRUPT = 8963;
inline constexpr ErrorCode KURA_INDEXCORRUPT = 8965;
// Input and output.
inline constexpr ErrorCode KURA_READERR = 9217;
inline constexpr ErrorCode KURA_WRITEERR = 9218;
inline constexpr ErrorCode KURA_FILEDELETEFAIL = 9220;
inline constexpr ErrorCode KURA_FILENOACCESS = 9221;
// Limits.
inline constexpr ErrorCode KURA_RECTOOBIG = 9477;
inline constexpr ErrorCode KURA_TABLEFULL = 9479;
inline constexpr ErrorCode KURA_INTERNALLIMIT = 9482;
inline constexpr ErrorCode KURA_INDEXLIMIT = 9487;
inline constexpr ErrorCode KURA_FLDLIMIT = 9492;
inline constexpr ErrorCode KURA_OPENBLOBLIMIT = 9494;
inline constexpr ErrorCode KURA_BLOBLIMIT = 9498;
// Integrity.
inline constexpr ErrorCode KURA_KEYVIOL = 9729;
inline constexpr ErrorCode KURA_MINVALERR = 9730;
inline constexpr ErrorCode KURA_MAXVALERR = 9731;
inline constexpr ErrorCode KURA_REQDERR = 9732;
// Invalid requests.
inline constexpr ErrorCode KURA_OUTOFRANGE = 9985;
inline constexpr ErrorCode KURA_PRIMARYKEYREDEFINE = 9993;
inline constexpr ErrorCode KURA_INVALIDBLOBOFFSET = 9998;
inline constexpr ErrorCode KURA_INVALIDFLDTYPE = 10000;
inline constexpr ErrorCode KURA_INVALIDVCHKSTRUCT = 10006;
inline constexpr ErrorCode KURA_INDEXNAMEREQUIRED = 10010;
inline constexpr ErrorCode KURA_INVALIDPASSWORD = 10015;
inline constexpr ErrorCode KURA_INVALIDINDEXNAME = 10022;
inline constexpr ErrorCode KURA_INVALIDIDXDESC = 10023;
inline constexpr ErrorCode KURA_INVALIDKEY = 10026;
inline constexpr ErrorCode KURA_INDEXEXISTS = 10027;
inline constexpr ErrorCode KURA_INVALIDBLOBLEN = 10029;
inline constexpr ErrorCode KURA_INVALIDBLOBHANDLE = 10030;
inline constexpr ErrorCode KURA_TABLEOPEN = 10031;
inline constexpr ErrorCode KURA_INVALIDFIELDNAME = 10038;
inline constexpr ErrorCode KURA_NOSUCHFILTER = 10050;
inline constexpr ErrorCode KURA_INVALIDFILTER = 10051;
inline constexpr ErrorCode KURA_INVALIDINDEXDELETE = 10055;
// Locks.
inline constexpr ErrorCode KURA_LOCKED = 10241;
inline constexpr ErrorCode KURA_UNLOCKFAILED = 10242;
inline constexpr ErrorCode KURA_LOCKTIMEOUT = 10249;
inline constexpr ErrorCode KURA_NEEDEXCLACCESS = 10253;
inline constexpr ErrorCode KURA_RECLOCKFAILED = 10258;
inline constexpr ErrorCode KURA_NOTSUFFTABLERIGHTS = 10498;
inline constexpr ErrorCode KURA_NOTABLOB = 10753;
inline constexpr ErrorCode KURA_NOTINITIALIZED = 10758;
// Operating system.
inline constexpr ErrorCode KURA_OSENOENT = 11010;
inline constexpr ErrorCode KURA_OSEMFILE = 11012;
inline constexpr ErrorCode KURA_OSEACCES = 11013;
inline constexpr ErrorCode KURA_OSEBADF = 11014;
inline constexpr ErrorCode KURA_OSENOMEM = 11016;
inline constexpr ErrorCode KURA_OSEINVMEM = 11017;
inline constexpr ErrorCode KURA_OSENODEV = 11023;
inline constexpr ErrorCode KURA_OSENOTSAM = 11025;
inline constexpr ErrorCode KURA_OSUNKNOWN = 11047;
// Client/server mode (not used by the program).
inline constexpr ErrorCode KURA_REMOTECOMMLOST = 11276;
inline constexpr ErrorCode KURA_REMOTEUNKNOWN = 11279;
inline constexpr ErrorCode KURA_REMOTECONNECT = 11280;
inline constexpr ErrorCode KURA_REMOTENOLOGIN = 11281;
inline constexpr ErrorCode KURA_REMOTEMAXCONNECT = 11282;
inline constexpr ErrorCode KURA_REMOTEADDRESSBLOCK = 11283;
inline constexpr ErrorCode KURA_REMOTECALLBACK = 11284;
inline constexpr ErrorCode KURA_REMOTECALLBACKERR = 11285;
inline constexpr ErrorCode KURA_REMOTEVERSION = 11286;
inline constexpr ErrorCode KURA_REMOTEINVLOGIN = 11287;
inline constexpr ErrorCode KURA_REMOTENOTAUTH = 11288;
inline constexpr ErrorCode KURA_REMOTENOTADMIN = 11289;
inline constexpr ErrorCode KURA_REMOTEINVUSER = 11290;
inline constexpr ErrorCode KURA_REMOTENOUSER = 11291;
inline constexpr ErrorCode KURA_REMOTEDUPUSER = 11292;
inline constexpr ErrorCode KURA_REMOTEINVDB = 11293;
inline constexpr ErrorCode KURA_REMOTENODB = 11294;
inline constexpr ErrorCode KURA_REMOTEDUPDB = 11295;
inline constexpr ErrorCode KURA_REMOTEINVDBUSER = 11296;
inline constexpr ErrorCode KURA_REMOTENODBUSER = 11297;
inline constexpr ErrorCode KURA_REMOTEDUPDBUSER = 11298;
inline constexpr ErrorCode KURA_REMOTEINVREQUEST = 11299;
// Import, export, SQL and versions.
inline constexpr ErrorCode KURA_IMPORTERROR = 11300;
inline constexpr ErrorCode KURA_EXPORTERROR = 11301;
inline constexpr ErrorCode KURA_SQLPARSE = 11949;
inline constexpr ErrorCode KURA_OLDVERSION = 12035;
inline constexpr ErrorCode KURA_SEARCHCOLREQD = 12292;
inline constexpr ErrorCode KURA_TABLEEXISTS = 13060;
inline constexpr ErrorCode KURA_COMPRESS = 15001;
inline constexpr ErrorCode KURA_UNCOMPRESS = 15002;
inline constexpr ErrorCode KURA_CANNOTLOADLDDRV = 15878;

// Which value of the error context fills a "%s" of a template.
enum class ErrorSlot : std::uint8_t {
  kServer, kUser, kDatabase, kTable, kField, kIndex, kMessage, kOsErrorCode
};

// A code's message template and the values that fill its "%s" in order.
struct ErrorTemplate {
  ErrorCode code;
  std::string_view text;
  ErrorSlot fill[3];
  std::uint8_t fillCount;
};

// The template of `code`, or nullptr when the code has none.
const ErrorTemplate* FindErrorTemplate(ErrorCode code);

}  // namespace kura
