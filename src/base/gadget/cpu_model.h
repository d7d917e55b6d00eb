// Processor entries of the device database (table "processors"), found by id or by the brand
// string the processor reports. See model.h for what every lookup answers and how it fails.
//
//   if (auto cpu = CPUModel::from_brand(brand)) name = cpu->name();  // "AMD Ryzen 7 1700"
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/gadget/model.h"

class CPUModel : public gadget::Model {
 public:
  // The processor with this id.
  [[nodiscard]] static std::shared_ptr<CPUModel> from_id(std::int32_t id);
  // The processor one of whose brand strings equals `brand` without its leading and trailing
  // spaces, tabs, line feeds and carriage returns.
  [[nodiscard]] static std::shared_ptr<CPUModel> from_brand(const std::string& brand);

  [[nodiscard]] std::string kind() const override { return "processor"; }
  [[nodiscard]] std::string table() const override { return "processors"; }

  [[nodiscard]] std::int32_t cores() const { return cores_; }
  [[nodiscard]] std::int32_t threads() const { return threads_; }
  // Base frequency in MHz; 0 when the catalogue does not know it.
  [[nodiscard]] std::int32_t frequency() const { return frequency_; }
  [[nodiscard]] const std::string& codename() const { return codename_; }
  [[nodiscard]] const std::string& package() const { return package_; }

 protected:
  void read_row(sqlite3_stmt* stmt) override;

 private:
  std::int32_t cores_ = 0;
  std::int32_t threads_ = 0;
  std::int32_t frequency_ = 0;
  std::string codename_;
  std::string package_;
};
