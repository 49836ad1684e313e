// The Winsock codes the program knows: one enumeration, one table that ties
// each code to its POSIX errno and BSD resolver number, and one text per code.
// The POSIX stack, the resolver mapping and the error messages all read these.
#pragma once

#include <span>

// Winsock's own numbers; the POSIX stack reports the same ones.
enum TIdWinsockCode : int {
  kWsaNotEnoughMemory = 8,
  kWsaeIntr = 10004,
  kWsaeBadF = 10009,
  kWsaeAcces = 10013,
  kWsaeFault = 10014,
  kWsaeInval = 10022,
  kWsaeMFile = 10024,
  kWsaeWouldBlock = 10035,
  kWsaeInProgress = 10036,
  kWsaeAlready = 10037,
  kWsaeNotSock = 10038,
  kWsaeDestAddrReq = 10039,
  kWsaeMsgSize = 10040,
  kWsaeProtoType = 10041,
  kWsaeNoProtoOpt = 10042,
  kWsaeProtoNoSupport = 10043,
  kWsaeSocktNoSupport = 10044,
  kWsaeOpNotSupp = 10045,
  kWsaePfNoSupport = 10046,
  kWsaeAfNoSupport = 10047,
  kWsaeAddrInUse = 10048,
  kWsaeAddrNotAvail = 10049,
  kWsaeNetDown = 10050,
  kWsaeNetUnreach = 10051,
  kWsaeNetReset = 10052,
  kWsaeConnAborted = 10053,
  kWsaeConnReset = 10054,
  kWsaeNoBufs = 10055,
  kWsaeIsConn = 10056,
  kWsaeNotConn = 10057,
  kWsaeShutdown = 10058,
  kWsaeTooManyRefs = 10059,
  kWsaeTimedOut = 10060,
  kWsaeConnRefused = 10061,
  kWsaeLoop = 10062,
  kWsaeNameTooLong = 10063,
  kWsaeHostDown = 10064,
  kWsaeHostUnreach = 10065,
  kWsaeNotEmpty = 10066,
  kWsaNotInitialised = 10093,
  kWsaTypeNotFound = 10109,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
};

// One row of the table: a code with the POSIX errno and the BSD resolver
// number (EAI_*, 1..11) that mean it; 0 where there is none. A code may
// stand in several rows (EPERM and EACCES both read as access denied).
struct TIdWinsockCodeRow {
  TIdWinsockCode Code;
  int PosixErrno;
  int ResolverCode;
};

std::span<const TIdWinsockCodeRow> WinsockCodeTable();

// The English text of a code, "" for one without text.
const char* WinsockCodeText(int code);
// errno -> Winsock code (an unknown errno passes unchanged).
int WinsockCodeOfErrno(int error);
// BSD resolver number -> Winsock code (numbers outside the table pass
// unchanged; EAI_SYSTEM yields 0: raise the system's last error instead).
int WinsockCodeOfResolver(int resolverCode);
