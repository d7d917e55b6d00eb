#include "base/gadget/cpu_model.h"

#include <sqlite3.h>

#include "base/gadget/db.h"
#include "base/strings.h"

using gadget::internal::column_text;

void CPUModel::read_row(sqlite3_stmt* stmt) {
  Model::read_row(stmt);
  cores_ = sqlite3_column_int(stmt, 4);
  threads_ = sqlite3_column_int(stmt, 5);
  frequency_ = sqlite3_column_int(stmt, 6);
  codename_ = column_text(stmt, 7);
  package_ = column_text(stmt, 8);
}

std::shared_ptr<CPUModel> CPUModel::from_id(std::int32_t id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT processors.id  , processors.name  , processors.description  , processors.family  "
      ", processors.cores  , processors.threads  , processors.frequency  , processors.codename  "
      ", processors.package FROM processors WHERE processors.id = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_int(stmt, 1, id));
  return first_row<CPUModel>(stmt);
}

std::shared_ptr<CPUModel> CPUModel::from_brand(const std::string& brand) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT processors.id  , processors.name  , processors.description  , processors.family  "
      ", processors.cores  , processors.threads  , processors.frequency  , processors.codename  "
      ", processors.package FROM processors JOIN processor_identifiers WHERE "
      "processor_identifiers.processor_id = processors.id AND processor_identifiers.cpu_brand = ?;";
  const std::string trimmed_brand = strings::trim(brand);
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(
      db, sqlite3_bind_text(stmt, 1, trimmed_brand.data(), trimmed_brand.length(), SQLITE_STATIC));
  return first_row<CPUModel>(stmt);
}
