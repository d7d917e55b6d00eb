#include "base/gadget/model.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include "base/gadget/android_model.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db.h"
#include "base/gadget/ios_model.h"
#include "base/gadget/mac_model.h"

namespace gadget {

Model::~Model() = default;

void Model::read_row(sqlite3_stmt* stmt) {
  id_ = sqlite3_column_int(stmt, 0);
  name_ = internal::column_text(stmt, 1);
  description_ = internal::column_text(stmt, 2);
  family_ = internal::column_text(stmt, 3);
}

std::vector<std::shared_ptr<Model>> Model::models_in_family() const {
  sqlite3* db = gadget_db();
  const std::string query = fmt::format("SELECT id FROM {} WHERE family = ?", table());
  const std::string& family = family_;
  sqlite3_stmt* stmt = nullptr;
  GADGET_SQL_CALL(db, sqlite3_prepare_v2(db, query.data(), query.length(), &stmt, NULL));
  internal::StatementGuard guard(stmt);
  GADGET_SQL_CALL(db, sqlite3_bind_text(stmt, 1, family.data(), family.length(), SQLITE_STATIC));
  std::vector<std::shared_ptr<Model>> models;
  while (internal::step_is_row(stmt)) {
    if (std::shared_ptr<Model> model = make_model(kind(), sqlite3_column_int(stmt, 0))) {
      models.push_back(std::move(model));
    }
  }
  return models;
}

std::shared_ptr<Model> make_model(const std::string& kind, std::int32_t id) {
  if (kind == "processor") {
    return CPUModel::from_id(id);
  }
  if (kind == "android") {
    return AndroidModel::from_id(id);
  }
  if (kind == "ios") {
    return iOSModel::from_id(id);
  }
  if (kind == "mac") {
    return MacModel::from_id(id);
  }
  return nullptr;
}

namespace internal {

std::string column_text(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  if (text == nullptr) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, column));
}

bool step_is_row(sqlite3_stmt* stmt) { return sqlite3_step(stmt) == SQLITE_ROW; }

StatementGuard::~StatementGuard() { sqlite3_finalize(stmt_); }

}  // namespace internal
}  // namespace gadget
