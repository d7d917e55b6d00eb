// iOS device entries of the device database (table "ios_devices"), found by id or by the model
// identifier the device reports ("iPhone14,2"). See model.h for what every lookup answers and
// how it fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/gadget/model.h"

class iOSModel : public gadget::Model {
 public:
  // The device with this id; only devices with at least one identifier row are found.
  [[nodiscard]] static std::shared_ptr<iOSModel> from_id(std::int32_t id);
  // The device with an identifier row for `model_id`.
  [[nodiscard]] static std::shared_ptr<iOSModel> from_model_id(const std::string& model_id);

  [[nodiscard]] std::string kind() const override { return "ios"; }
  [[nodiscard]] std::string table() const override { return "ios_devices"; }

  [[nodiscard]] const std::string& processor_name() const { return processor_name_; }
  // In MHz.
  [[nodiscard]] std::int32_t processor_frequency() const { return processor_frequency_; }

 protected:
  void read_row(sqlite3_stmt* stmt) override;

 private:
  std::string processor_name_;
  std::int32_t processor_frequency_ = 0;
};
