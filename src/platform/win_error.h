// Windows system error codes that the library hands to callers, by their
// Windows names, with Windows' own values and message texts.
#pragma once

namespace Halvex::Tessaran::PAL::detail {

// One entry per code: X(NAME, VALUE, TEXT). The enum and the texts are both
// made from this list, so no code goes without its text.
#define KVPAL_WIN_ERRORS(X)                                                                           \
  X(ERROR_SUCCESS, 0, "The operation completed successfully.")                                        \
  X(ERROR_INVALID_FUNCTION, 1, "Incorrect function.")                                                 \
  X(ERROR_FILE_NOT_FOUND, 2, "The system cannot find the file specified.")                            \
  X(ERROR_PATH_NOT_FOUND, 3, "The system cannot find the path specified.")                            \
  X(ERROR_TOO_MANY_OPEN_FILES, 4, "The system cannot open the file.")                                 \
  X(ERROR_ACCESS_DENIED, 5, "Access is denied.")                                                      \
  X(ERROR_INVALID_HANDLE, 6, "The handle is invalid.")                                                \
  X(ERROR_NOT_ENOUGH_MEMORY, 8, "Not enough memory resources are available to process this command.") \
  X(ERROR_INVALID_DATA, 13, "The data is invalid.")                                                   \
  X(ERROR_OUTOFMEMORY, 14, "Not enough memory resources are available to complete this operation.")   \
  X(ERROR_NOT_SAME_DEVICE, 17, "The system cannot move the file to a different disk drive.")          \
  X(ERROR_WRITE_PROTECT, 19, "The media is write protected.")                                         \
  X(ERROR_NOT_READY, 21, "The device is not ready.")                                                  \
  X(ERROR_SEEK, 25, "The drive cannot locate a specific area or track on the disk.")                  \
  X(ERROR_GEN_FAILURE, 31, "A device attached to the system is not functioning.")                     \
  X(ERROR_SHARING_VIOLATION, 32,                                                                      \
    "The process cannot access the file because it is being used by another process.")                \
  X(ERROR_LOCK_VIOLATION, 33,                                                                         \
    "The process cannot access the file because another process has locked a portion of the file.")   \
  X(ERROR_HANDLE_EOF, 38, "Reached the end of the file.")                                             \
  X(ERROR_HANDLE_DISK_FULL, 39, "The disk is full.")                                                  \
  X(ERROR_NOT_SUPPORTED, 50, "The request is not supported.")                                         \
  X(ERROR_BAD_NETPATH, 53, "The network path was not found.")                                         \
  X(ERROR_NETWORK_BUSY, 54, "The network is busy.")                                                   \
  X(ERROR_DEV_NOT_EXIST, 55, "The specified network resource or device is no longer available.")      \
  X(ERROR_UNEXP_NET_ERR, 59, "An unexpected network error occurred.")                                 \
  X(ERROR_NETWORK_ACCESS_DENIED, 65, "Network access is denied.")                                     \
  X(ERROR_FILE_EXISTS, 80, "The file exists.")                                                        \
  X(ERROR_INVALID_PARAMETER, 87, "The parameter is incorrect.")                                       \
  X(ERROR_BROKEN_PIPE, 109, "The pipe has been ended.")                                               \
  X(ERROR_BUFFER_OVERFLOW, 111, "The file name is too long.")                                         \
  X(ERROR_DISK_FULL, 112, "There is not enough space on the disk.")                                   \
  X(ERROR_CALL_NOT_IMPLEMENTED, 120, "This function is not supported on this system.")                \
  X(ERROR_SEM_TIMEOUT, 121, "The semaphore timeout period has expired.")                              \
  X(ERROR_INSUFFICIENT_BUFFER, 122, "The data area passed to a system call is too small.")            \
  X(ERROR_INVALID_NAME, 123, "The filename, directory name, or volume label syntax is incorrect.")    \
  X(ERROR_MOD_NOT_FOUND, 126, "The specified module could not be found.")                             \
  X(ERROR_PROC_NOT_FOUND, 127, "The specified procedure could not be found.")                         \
  X(ERROR_NEGATIVE_SEEK, 131,                                                                         \
    "An attempt was made to move the file pointer before the beginning of the file.")                 \
  X(ERROR_SEEK_ON_DEVICE, 132, "The file pointer cannot be set on the specified device or file.")     \
  X(ERROR_DIR_NOT_EMPTY, 145, "The directory is not empty.")                                          \
  X(ERROR_BUSY, 170, "The requested resource is in use.")                                             \
  X(ERROR_ALREADY_EXISTS, 183, "Cannot create a file when that file already exists.")                 \
  X(ERROR_BAD_EXE_FORMAT, 193, "The file is not a valid application for this system.")                \
  X(ERROR_FILENAME_EXCED_RANGE, 206, "The filename or extension is too long.")                        \
  X(ERROR_FILE_TOO_LARGE, 223, "The file size exceeds the limit allowed and cannot be saved.")        \
  X(ERROR_MORE_DATA, 234, "More data is available.")                                                  \
  X(WAIT_TIMEOUT, 258, "The wait operation timed out.")                                               \
  X(ERROR_NO_MORE_ITEMS, 259, "No more data is available.")                                           \
  X(ERROR_DIRECTORY, 267, "The directory name is invalid.")                                           \
  X(ERROR_NOT_FOUND, 1168, "Element not found.")                                                      \
  X(ERROR_NO_UNICODE_TRANSLATION, 1113,                                                               \
    "No mapping for the Unicode character exists in the target multi-byte code page.")                \
  X(ERROR_INVALID_FLAGS, 1004, "Invalid flags.")                                                      \
  X(ERROR_FILE_INVALID, 1006,                                                                         \
    "The volume for a file has been externally altered so that the opened file is no longer valid.")  \
  X(ERROR_BADDB, 1009, "The configuration registry database is corrupt.")                             \
  X(ERROR_BADKEY, 1010, "The configuration registry key is invalid.")                                 \
  X(ERROR_CANTOPEN, 1011, "The configuration registry key could not be opened.")                      \
  X(ERROR_CANTREAD, 1012, "The configuration registry key could not be read.")                        \
  X(ERROR_CANTWRITE, 1013, "The configuration registry key could not be written.")                    \
  X(ERROR_KEY_DELETED, 1018,                                                                          \
    "Illegal operation attempted on a registry key that has been marked for deletion.")               \
  X(ERROR_NETWORK_UNREACHABLE, 1231, "The network location cannot be reached.")                       \
  X(ERROR_DISK_QUOTA_EXCEEDED, 1295,                                                                  \
    "The requested file operation failed because the storage quota was exceeded.")                    \
  X(ERROR_FILE_CORRUPT, 1392, "The file or directory is corrupted and unreadable.")                   \
  X(ERROR_CANT_RESOLVE_FILENAME, 1921, "The name of the file cannot be resolved by the system.")

enum WinError : unsigned {
#define KVPAL_WIN_ERROR_ENUM(name, value, text) name = value,
  KVPAL_WIN_ERRORS(KVPAL_WIN_ERROR_ENUM)
#undef KVPAL_WIN_ERROR_ENUM
};

// The system's message for `code` (without the number), or null for a code
// the library never produces.
const char* winErrorText(unsigned code);

}  // namespace Halvex::Tessaran::PAL::detail
