#include "base/gadget/mac_model.h"

#include <sqlite3.h>

#include "base/gadget/db.h"

void MacModel::read_row(sqlite3_stmt* stmt) {
  Model::read_row(stmt);
  processor_name_ = gadget::internal::column_text(stmt, 4);
}

std::shared_ptr<MacModel> MacModel::from_id(std::int32_t id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT macs.id  , macs.name  , macs.description  , macs.family  , processors.name FROM "
      "macs JOIN processors ON macs.processor_id = processors.id WHERE macs.id = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_int(stmt, 1, id));
  return first_row<MacModel>(stmt);
}

std::shared_ptr<MacModel> MacModel::from_model_id(const std::string& model_id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT macs.id  , macs.name  , macs.description  , macs.family  , processors.name FROM "
      "macs JOIN processors ON macs.processor_id = processors.id WHERE macs.model = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db,
                  sqlite3_bind_text(stmt, 1, model_id.data(), model_id.length(), SQLITE_STATIC));
  return first_row<MacModel>(stmt);
}

std::shared_ptr<MacModel> MacModel::from_model_id_and_brand(const std::string& model_id,
                                                            const std::string& brand) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT macs.id  , macs.name  , macs.description  , macs.family  , processors.name FROM "
      "macs JOIN processors JOIN processor_identifiers WHERE macs.processor_id = processors.id  "
      "AND processor_identifiers.processor_id = processors.id  AND macs.model = ?  AND "
      "processor_identifiers.cpu_brand = trim(?);";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db,
                  sqlite3_bind_text(stmt, 1, model_id.data(), model_id.length(), SQLITE_STATIC));
  GADGET_SQL_CALL(db, sqlite3_bind_text(stmt, 2, brand.data(), brand.length(), SQLITE_STATIC));
  return first_row<MacModel>(stmt);
}
