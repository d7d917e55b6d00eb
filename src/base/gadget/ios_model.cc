#include "base/gadget/ios_model.h"

#include <sqlite3.h>

#include "base/gadget/db.h"

void iOSModel::read_row(sqlite3_stmt* stmt) {
  Model::read_row(stmt);
  processor_name_ = gadget::internal::column_text(stmt, 4);
  processor_frequency_ = sqlite3_column_int(stmt, 5);
}

std::shared_ptr<iOSModel> iOSModel::from_id(std::int32_t id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT ios_devices.id  , ios_devices.name  , ios_devices.description  , "
      "ios_devices.family  , ios_devices.processor_name  , ios_devices.processor_frequency FROM "
      "ios_devices JOIN ios_device_identifiers WHERE ios_device_identifiers.ios_device_id = "
      "ios_devices.id AND ios_devices.id = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_int(stmt, 1, id));
  return first_row<iOSModel>(stmt);
}

std::shared_ptr<iOSModel> iOSModel::from_model_id(const std::string& model_id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT ios_devices.id  , ios_devices.name  , ios_devices.description  , "
      "ios_devices.family  , ios_devices.processor_name  , ios_devices.processor_frequency FROM "
      "ios_devices JOIN ios_device_identifiers WHERE ios_device_identifiers.ios_device_id = "
      "ios_devices.id AND ios_device_identifiers.model = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db,
                  sqlite3_bind_text(stmt, 1, model_id.data(), model_id.length(), SQLITE_STATIC));
  return first_row<iOSModel>(stmt);
}
