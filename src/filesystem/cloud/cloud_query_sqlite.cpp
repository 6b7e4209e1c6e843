// Reading a client's folder from its SQLite database without changing it.
#include <sqlite3.h>

#include <cstring>

#include "base/path_text.h"
#include "base/utf8.h"
#include "filesystem/cloud/cloud_files.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct RowState {
  const char* column;
  bool oneRow;
  int rows = 0;
  std::string value;
};

int takeRow(void* state, int columns, char** values, char** names) {
  RowState& s = *static_cast<RowState*>(state);
  if (++s.rows > 1) return s.oneRow ? 1 : 0;
  for (int i = 0; i < columns; ++i) {
    if (std::strcmp(names[i], s.column) == 0) {
      s.value = values[i] ? values[i] : "";
      return 0;
    }
  }
  return 1;
}

}  // namespace

std::optional<std::wstring> queryFirstRow(const std::wstring& path, const char* sql, const char* column,
                                          bool oneRow) {
  const std::optional<boost::filesystem::path> p = pathFromWide(path.c_str());
  if (!p) return std::nullopt;
  sqlite3* db = nullptr;
  // Read-only: opening must never create a database in the client's folder.
  const int opened = sqlite3_open_v2(p->c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  if (opened != SQLITE_OK) {
    sqlite3_close(db);
    return std::nullopt;
  }
  RowState state{column, oneRow, 0, {}};
  char* error = nullptr;
  const int ran = sqlite3_exec(db, sql, takeRow, &state, &error);
  sqlite3_free(error);
  sqlite3_close(db);
  if (ran != SQLITE_OK) return std::nullopt;
  return utf8ToWide(state.value);
}

}  // namespace Halvex::Tessaran::PAL::detail
