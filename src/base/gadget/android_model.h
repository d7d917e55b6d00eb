// Android device entries of the device database (table "android_devices"), found by id or by
// the model and motherboard the device reports. See model.h for what every lookup answers and
// how it fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/gadget/model.h"

class AndroidModel : public gadget::Model {
 public:
  // The device with this id; only devices with at least one identifier row are found.
  [[nodiscard]] static std::shared_ptr<AndroidModel> from_id(std::int32_t id);
  // The device with an identifier row for `model` and `motherboard`; failing that, one for
  // `model` with an empty motherboard, which stands for any motherboard.
  [[nodiscard]] static std::shared_ptr<AndroidModel> from_model_and_motherboard(
      const std::string& model, const std::string& motherboard);

  [[nodiscard]] std::string kind() const override { return "android"; }
  [[nodiscard]] std::string table() const override { return "android_devices"; }

  // The name of the device's processor entry.
  [[nodiscard]] const std::string& processor_name() const { return processor_name_; }

 protected:
  void read_row(sqlite3_stmt* stmt) override;

 private:
  std::string processor_name_;
};
