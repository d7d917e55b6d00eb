#include "base/gadget/android_model.h"

#include <sqlite3.h>

#include "base/gadget/db.h"

void AndroidModel::read_row(sqlite3_stmt* stmt) {
  // The queries also select the processor's cores and the device's frequency; neither is kept.
  Model::read_row(stmt);
  processor_name_ = gadget::internal::column_text(stmt, 4);
}

std::shared_ptr<AndroidModel> AndroidModel::from_id(std::int32_t id) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT android_devices.id   , android_devices.name   , android_devices.description   , "
      "android_devices.family   , processors.name   , processors.cores   , "
      "android_devices.processor_frequency FROM android_devices JOIN android_device_identifiers "
      "ON android_devices.id = android_device_identifiers.android_device_id JOIN processors ON "
      "android_devices.processor_id = processors.id WHERE android_devices.id = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_int(stmt, 1, id));
  return first_row<AndroidModel>(stmt);
}

std::shared_ptr<AndroidModel> AndroidModel::from_model_and_motherboard(
    const std::string& model, const std::string& motherboard) {
  sqlite3* db = gadget::gadget_db();
  const char* sql =
      "SELECT android_devices.id   , android_devices.name   , android_devices.description   , "
      "android_devices.family   , processors.name   , processors.cores   , "
      "android_devices.processor_frequency FROM android_devices JOIN android_device_identifiers "
      "ON android_devices.id = android_device_identifiers.android_device_id JOIN processors ON "
      "android_devices.processor_id = processors.id WHERE android_device_identifiers.model = ? "
      "AND android_device_identifiers.motherboard = ?;";
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, sql, -1, &stmt, NULL));
  gadget::internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_text(stmt, 1, model.data(), model.length(), SQLITE_STATIC));
  GADGET_SQL_CALL(
      db, sqlite3_bind_text(stmt, 2, motherboard.data(), motherboard.length(), SQLITE_STATIC));
  if (std::shared_ptr<AndroidModel> found = first_row<AndroidModel>(stmt)) {
    return found;
  }
  // An identifier row with an empty motherboard matches any motherboard.
  sqlite3_reset(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_text(stmt, 1, model.data(), model.length(), SQLITE_STATIC));
  GADGET_SQL_CALL(db, sqlite3_bind_text(stmt, 2, "", 0, SQLITE_STATIC));
  return first_row<AndroidModel>(stmt);
}
