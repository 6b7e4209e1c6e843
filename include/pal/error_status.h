// The status vocabulary shared with the host application.
#pragma once

namespace Pyra {

enum ErrorStatus : int {
  Ok = 0,
  InvalidArgument = 3,
  NotOpened = 11,
  DiskFull = 27,
  EndOfFile = 41,
  FileError = 53,
  AccessDenied = 72,
  FileNotFound = 76,
  WriteProtected = 91,
  FileCorrupt = 314,
  SharingViolation = 433,
};

static_assert(sizeof(ErrorStatus) == 4);

}  // namespace Pyra
