// Catalogue entries of the device database: gadget::Model, what every entry has, and the
// factory that turns a kind word and an id into an entry. The subclasses (CPUModel, MacModel,
// AndroidModel, iOSModel) add their own fields and lookups.
//
// Lookups answer with a shared entry, or an empty pointer when no row matches. A database that
// cannot be used (not opened, a statement that cannot be prepared or bound) is a failure: two
// ERROR lines ("<call> failed <code>", then the engine's message) and a std::runtime_error with
// the engine's message. A text column holding SQL NULL reads as the empty string.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3_stmt;

namespace gadget {

class Model {
 public:
  virtual ~Model();

  // The kind word of the subclass: "processor", "mac", "android" or "ios".
  [[nodiscard]] virtual std::string kind() const = 0;
  // Every entry of this entry's table whose family equals this entry's family, in the table's
  // order, each made with make_model (so this entry is among them when its row is). Empty when
  // the family has no rows.
  [[nodiscard]] virtual std::vector<std::shared_ptr<Model>> models_in_family() const;
  // The subclass's table: "processors", "macs", "android_devices" or "ios_devices".
  [[nodiscard]] virtual std::string table() const = 0;

  [[nodiscard]] std::int32_t id() const { return id_; }
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& description() const { return description_; }
  [[nodiscard]] const std::string& family() const { return family_; }

 protected:
  // Fills the fields from the statement's current row: columns 0 to 3 here (id, name,
  // description, family), the subclass's columns after them.
  virtual void read_row(sqlite3_stmt* stmt);

  // Steps `stmt` once: a row gives a new M filled from it, anything else an empty pointer.
  template <class M>
  [[nodiscard]] static std::shared_ptr<M> first_row(sqlite3_stmt* stmt);

  std::int32_t id_ = 0;
  std::string name_;
  std::string description_;
  std::string family_;
};

// The entry of kind `kind` ("processor", "android", "ios", "mac") with id `id`; an empty pointer
// for another kind (a table name such as "processors" is not a kind) or an unknown id.
[[nodiscard]] std::shared_ptr<Model> make_model(const std::string& kind, std::int32_t id);

namespace internal {

// Text column `column` of the current row; SQL NULL gives "".
[[nodiscard]] std::string column_text(sqlite3_stmt* stmt, int column);
[[nodiscard]] bool step_is_row(sqlite3_stmt* stmt);

// Finalizes a prepared statement when the lookup ends, also when a bind fails and throws.
class StatementGuard {
 public:
  explicit StatementGuard(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~StatementGuard();
  StatementGuard(const StatementGuard&) = delete;
  StatementGuard& operator=(const StatementGuard&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

}  // namespace internal

template <class M>
std::shared_ptr<M> Model::first_row(sqlite3_stmt* stmt) {
  if (!internal::step_is_row(stmt)) {
    return nullptr;
  }
  auto model = std::make_shared<M>();
  static_cast<Model*>(model.get())->read_row(stmt);
  return model;
}

}  // namespace gadget
