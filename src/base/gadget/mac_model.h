// Mac entries of the device database (table "macs"), found by id, by model identifier
// ("MacBookPro16,1") or by model identifier and processor brand. See model.h for what every
// lookup answers and how it fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/gadget/model.h"

class MacModel : public gadget::Model {
 public:
  // The Mac with this id.
  [[nodiscard]] static std::shared_ptr<MacModel> from_id(std::int32_t id);
  // The first Mac whose model identifier equals `model_id`.
  [[nodiscard]] static std::shared_ptr<MacModel> from_model_id(const std::string& model_id);
  // The Mac with this model identifier whose processor has a brand string equal to `brand`
  // without leading and trailing spaces (tabs and line breaks stay).
  [[nodiscard]] static std::shared_ptr<MacModel> from_model_id_and_brand(
      const std::string& model_id, const std::string& brand);

  [[nodiscard]] std::string kind() const override { return "mac"; }
  [[nodiscard]] std::string table() const override { return "macs"; }

  // The model identifier; no lookup fills it, so it is always empty.
  [[nodiscard]] const std::string& model_id() const { return model_id_; }
  // The name of the Mac's processor entry.
  [[nodiscard]] const std::string& processor_name() const { return processor_name_; }

 protected:
  void read_row(sqlite3_stmt* stmt) override;

 private:
  std::string model_id_;
  std::string processor_name_;
};
