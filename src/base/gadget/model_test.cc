#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/gadget/android_model.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db_for_testing.h"
#include "base/gadget/ios_model.h"
#include "base/gadget/mac_model.h"
#include "base/gadget/model.h"

namespace gadget {
namespace {

// The tables as the lookups read them, without the shipped schema's constraints so that rows
// can hold NULLs.
constexpr const char* kSchema = R"sql(
CREATE TABLE processors (id INTEGER PRIMARY KEY, name, description, family, cores, threads,
                         frequency, codename, package);
CREATE TABLE processor_identifiers (processor_id, cpu_brand);
CREATE TABLE macs (id INTEGER PRIMARY KEY, name, description, family, model, processor_id);
CREATE TABLE android_devices (id INTEGER PRIMARY KEY, name, description, family, processor_id,
                              processor_frequency);
CREATE TABLE android_device_identifiers (android_device_id, model, motherboard);
CREATE TABLE ios_devices (id INTEGER PRIMARY KEY, name, description, family, processor_name,
                          processor_frequency);
CREATE TABLE ios_device_identifiers (ios_device_id, model);
)sql";

constexpr const char* kRows = R"sql(
INSERT INTO processors VALUES
  (1, 'Alpha 100', 'Four cores', 'Alpha', 4, 8, 3000, 'Ridge', 'S1'),
  (2, 'Alpha 200', 'Eight cores', 'Alpha', 8, 16, 3500, 'Ridge', 'S1'),
  (3, 'Beta 1', NULL, 'Beta', 2, 2, 1000, NULL, 'B2');
INSERT INTO processor_identifiers VALUES
  (1, 'Alpha 100 CPU'), (1, 'Alpha 100 CPU rev B'), (2, 'Alpha 200 CPU'), (3, 'Beta 1 CPU');
INSERT INTO macs VALUES
  (1, 'Mac One', 'Small', 'MacFam', 'Mac1,1', 1),
  (2, 'Mac One Plus', 'Small, faster', 'MacFam', 'Mac1,1', 2),
  (3, 'Mac Two', 'Big', 'OtherMacs', 'Mac2,1', 3);
INSERT INTO android_devices VALUES
  (1, 'Phone A', 'Phone', 'Phones', 1, 2800),
  (2, 'Phone B', 'Phone', 'Phones', 2, 2900),
  (3, 'Phone Unlisted', 'No identifier row', 'Phones', 1, 100);
INSERT INTO android_device_identifiers VALUES
  (1, 'PA', 'boardA'), (2, 'PA', ''), (2, 'PB', 'boardB');
INSERT INTO ios_devices VALUES
  (1, 'Pad', 'Tablet', 'Pads', 'Chip X', 2990),
  (2, 'Pad Unlisted', 'No identifier row', 'Pads', 'Chip Y', 1000);
INSERT INTO ios_device_identifiers VALUES (1, 'Pad1,1'), (1, 'Pad1,2');
)sql";

class ModelTest : public ::testing::Test {
 protected:
  ModelTest() : db_(fixture_database(std::string(kSchema) + kRows)), scope_(db_.get()) {}
  SqliteHandle db_;
  ScopedGadgetDb scope_;
};

TEST_F(ModelTest, CpuFromIdFillsEveryField) {
  std::shared_ptr<CPUModel> cpu = CPUModel::from_id(2);
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->id(), 2);
  EXPECT_EQ(cpu->name(), "Alpha 200");
  EXPECT_EQ(cpu->description(), "Eight cores");
  EXPECT_EQ(cpu->family(), "Alpha");
  EXPECT_EQ(cpu->cores(), 8);
  EXPECT_EQ(cpu->threads(), 16);
  EXPECT_EQ(cpu->frequency(), 3500);
  EXPECT_EQ(cpu->codename(), "Ridge");
  EXPECT_EQ(cpu->package(), "S1");
  EXPECT_EQ(cpu->kind(), "processor");
  EXPECT_EQ(cpu->table(), "processors");
  EXPECT_EQ(CPUModel::from_id(99), nullptr);
}

TEST_F(ModelTest, NullTextColumnsReadAsEmpty) {
  std::shared_ptr<CPUModel> cpu = CPUModel::from_id(3);
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->description(), "");
  EXPECT_EQ(cpu->codename(), "");
  EXPECT_EQ(cpu->package(), "B2");
}

TEST_F(ModelTest, CpuFromBrandTrimsBeforeMatching) {
  struct Case {
    const char* brand;
    int id;  // 0: no match
  } cases[] = {
      {"Alpha 100 CPU", 1},
      {" Alpha 100 CPU", 1},
      {"\t\r\n Alpha 100 CPU \n\r\t", 1},
      {"Alpha 100 CPU rev B", 1},  // a processor may have several brand strings
      {"Alpha 200 CPU", 2},
      {"Alpha 100  CPU", 0},   // inner spaces are kept
      {"alpha 100 cpu", 0},    // case matters
      {"\vAlpha 100 CPU", 0},  // only space, tab, CR and LF are trimmed
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.brand);
    std::shared_ptr<CPUModel> cpu = CPUModel::from_brand(c.brand);
    EXPECT_EQ(cpu ? cpu->id() : 0, c.id);
  }
}

TEST_F(ModelTest, MacLookups) {
  std::shared_ptr<MacModel> mac = MacModel::from_id(2);
  ASSERT_NE(mac, nullptr);
  EXPECT_EQ(mac->name(), "Mac One Plus");
  EXPECT_EQ(mac->description(), "Small, faster");
  EXPECT_EQ(mac->family(), "MacFam");
  EXPECT_EQ(mac->processor_name(), "Alpha 200");
  EXPECT_EQ(mac->model_id(), "");  // no lookup selects it
  EXPECT_EQ(mac->kind(), "mac");
  EXPECT_EQ(mac->table(), "macs");
  EXPECT_EQ(MacModel::from_id(9), nullptr);

  ASSERT_NE(MacModel::from_model_id("Mac1,1"), nullptr);
  EXPECT_EQ(MacModel::from_model_id("Mac1,1")->id(), 1);  // the first of two rows
  EXPECT_EQ(MacModel::from_model_id("Mac2,1")->processor_name(), "Beta 1");
  EXPECT_EQ(MacModel::from_model_id(" Mac2,1"), nullptr);
}

TEST_F(ModelTest, MacFromModelIdAndBrandTrimsOnlySpaces) {
  struct Case {
    const char* model_id;
    const char* brand;
    int id;
  } cases[] = {
      {"Mac1,1", "Alpha 200 CPU", 2},
      {"Mac1,1", "Alpha 100 CPU rev B", 1},
      {"Mac1,1", "  Alpha 200 CPU  ", 2},  // the SQL trims spaces
      {"Mac1,1", "\tAlpha 200 CPU", 0},    // but not tabs or line breaks
      {"Mac1,1", "Alpha 200 CPU\n", 0},
      {"Mac1,1", "Beta 1 CPU", 0},  // a processor of another Mac
      {"Mac2,1", "Beta 1 CPU", 3},
      {"Mac9,9", "Beta 1 CPU", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model_id) + " / " + c.brand);
    std::shared_ptr<MacModel> mac = MacModel::from_model_id_and_brand(c.model_id, c.brand);
    EXPECT_EQ(mac ? mac->id() : 0, c.id);
  }
}

TEST_F(ModelTest, AndroidFromModelAndMotherboardFallsBackToAnyMotherboard) {
  struct Case {
    const char* model;
    const char* motherboard;
    int id;
  } cases[] = {
      {"PA", "boardA", 1},  // the exact row wins over the empty-motherboard row
      {"PA", "other", 2},   // the empty motherboard matches any
      {"PA", "", 2},       {"PB", "boardB", 2},
      {"PB", "boardA", 0},  // no empty-motherboard row for PB
      {"PC", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " / " + c.motherboard);
    std::shared_ptr<AndroidModel> phone =
        AndroidModel::from_model_and_motherboard(c.model, c.motherboard);
    EXPECT_EQ(phone ? phone->id() : 0, c.id);
  }
  std::shared_ptr<AndroidModel> phone = AndroidModel::from_model_and_motherboard("PA", "boardA");
  ASSERT_NE(phone, nullptr);
  EXPECT_EQ(phone->name(), "Phone A");
  EXPECT_EQ(phone->description(), "Phone");
  EXPECT_EQ(phone->family(), "Phones");
  EXPECT_EQ(phone->processor_name(), "Alpha 100");
  EXPECT_EQ(phone->kind(), "android");
  EXPECT_EQ(phone->table(), "android_devices");
}

TEST_F(ModelTest, AndroidAndIosFromIdNeedAnIdentifierRow) {
  ASSERT_NE(AndroidModel::from_id(2), nullptr);
  EXPECT_EQ(AndroidModel::from_id(2)->processor_name(), "Alpha 200");
  EXPECT_EQ(AndroidModel::from_id(3), nullptr);
  ASSERT_NE(iOSModel::from_id(1), nullptr);
  EXPECT_EQ(iOSModel::from_id(2), nullptr);
}

TEST_F(ModelTest, IosFromModelId) {
  for (const char* model_id : {"Pad1,1", "Pad1,2"}) {
    SCOPED_TRACE(model_id);
    std::shared_ptr<iOSModel> pad = iOSModel::from_model_id(model_id);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(pad->id(), 1);
    EXPECT_EQ(pad->name(), "Pad");
    EXPECT_EQ(pad->description(), "Tablet");
    EXPECT_EQ(pad->family(), "Pads");
    EXPECT_EQ(pad->processor_name(), "Chip X");
    EXPECT_EQ(pad->processor_frequency(), 2990);
    EXPECT_EQ(pad->kind(), "ios");
    EXPECT_EQ(pad->table(), "ios_devices");
  }
  EXPECT_EQ(iOSModel::from_model_id("Pad1,3"), nullptr);
}

std::vector<int> ids(const std::vector<std::shared_ptr<Model>>& models) {
  std::vector<int> out;
  for (const auto& model : models) {
    out.push_back(model->id());
  }
  return out;
}

TEST_F(ModelTest, ModelsInFamilyUseEachSubclassTableAndSkipUnfoundRows) {
  EXPECT_EQ(ids(CPUModel::from_id(1)->models_in_family()), (std::vector<int>{1, 2}));
  EXPECT_EQ(ids(CPUModel::from_id(3)->models_in_family()), (std::vector<int>{3}));
  EXPECT_EQ(ids(MacModel::from_id(1)->models_in_family()), (std::vector<int>{1, 2}));
  // Phone Unlisted is in the family but has no identifier row, so from_id does not find it.
  EXPECT_EQ(ids(AndroidModel::from_id(1)->models_in_family()), (std::vector<int>{1, 2}));
  EXPECT_EQ(ids(iOSModel::from_id(1)->models_in_family()), (std::vector<int>{1}));

  std::vector<std::shared_ptr<Model>> family = MacModel::from_id(2)->models_in_family();
  ASSERT_EQ(family.size(), 2u);
  EXPECT_NE(dynamic_cast<MacModel*>(family[0].get()), nullptr);
  EXPECT_EQ(static_cast<MacModel*>(family[1].get())->processor_name(), "Alpha 200");
}

TEST_F(ModelTest, ModelsInFamilyWithoutRowsIsEmpty) {
  std::shared_ptr<CPUModel> cpu = CPUModel::from_id(1);
  SqliteHandle empty = fixture_database(kSchema);
  ScopedGadgetDb scope(empty.get());
  EXPECT_TRUE(cpu->models_in_family().empty());
}

TEST_F(ModelTest, MakeModelTakesKindWordsOnly) {
  struct Case {
    const char* kind;
    std::int32_t id;
    bool found;
    const char* name;
  } cases[] = {
      {"processor", 1, true, "Alpha 100"}, {"mac", 3, true, "Mac Two"},
      {"android", 1, true, "Phone A"},     {"ios", 1, true, "Pad"},
      {"processor", 42, false, ""},        {"processors", 1, false, ""},
      {"Processor", 1, false, ""},         {"", 1, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    std::shared_ptr<Model> model = make_model(c.kind, c.id);
    ASSERT_EQ(model != nullptr, c.found);
    if (model) {
      EXPECT_EQ(model->kind(), c.kind);
      EXPECT_EQ(model->name(), c.name);
    }
  }
}

// Every lookup with the failure text of its prepare call.
struct Lookup {
  const char* name;
  std::function<void()> run;
};

std::vector<Lookup> every_lookup(const std::shared_ptr<Model>& family_member) {
  return {
      {"CPUModel::from_id", [] { (void)CPUModel::from_id(1); }},
      {"CPUModel::from_brand", [] { (void)CPUModel::from_brand("Alpha 100 CPU"); }},
      {"MacModel::from_id", [] { (void)MacModel::from_id(1); }},
      {"MacModel::from_model_id", [] { (void)MacModel::from_model_id("Mac1,1"); }},
      {"MacModel::from_model_id_and_brand",
       [] { (void)MacModel::from_model_id_and_brand("Mac1,1", "Alpha 100 CPU"); }},
      {"AndroidModel::from_id", [] { (void)AndroidModel::from_id(1); }},
      {"AndroidModel::from_model_and_motherboard",
       [] { (void)AndroidModel::from_model_and_motherboard("PA", "boardA"); }},
      {"iOSModel::from_id", [] { (void)iOSModel::from_id(1); }},
      {"iOSModel::from_model_id", [] { (void)iOSModel::from_model_id("Pad1,1"); }},
      {"models_in_family", [family_member] { (void)family_member->models_in_family(); }},
  };
}

// Runs `run`, expecting a runtime_error with `message` and exactly the two ERROR lines.
void expect_failure(const std::function<void()>& run, const std::string& call_line,
                    const std::string& message) {
  testing::internal::CaptureStderr();
  std::string thrown;
  try {
    run();
  } catch (const std::runtime_error& error) {
    thrown = error.what();
  }
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(thrown, message);
  const size_t first = log.find(")] " + call_line + "\r\n");
  const size_t second = log.find(")] " + message + "\r\n");
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_NE(second, std::string::npos) << log;
  EXPECT_LT(first, second) << log;
  size_t lines = 0;
  for (size_t at = log.find("ERROR:"); at != std::string::npos; at = log.find("ERROR:", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 2u) << log;
}

TEST_F(ModelTest, UnopenedDatabaseFailsEveryLookupAtPrepare) {
  std::shared_ptr<Model> member = CPUModel::from_id(1);
  ScopedGadgetDb unopened(nullptr);
  for (const Lookup& lookup : every_lookup(member)) {
    SCOPED_TRACE(lookup.name);
    const std::string call = std::string(lookup.name) == "models_in_family"
                                 ? "sqlite3_prepare_v2(db, query.data(), query.length(), &stmt, "
                                   "NULL) failed 21"
                                 : "sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) failed 21";
    expect_failure(lookup.run, call, "bad parameter or other API misuse");
  }
}

TEST_F(ModelTest, MissingTablesFailAtPrepareWithTheEngineMessage) {
  std::shared_ptr<Model> member = CPUModel::from_id(1);
  SqliteHandle empty = fixture_database("");
  ScopedGadgetDb scope(empty.get());
  for (const Lookup& lookup : every_lookup(member)) {
    SCOPED_TRACE(lookup.name);
    testing::internal::CaptureStderr();
    EXPECT_THROW(lookup.run(), std::runtime_error);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(" failed 1\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(")] no such table: "), std::string::npos) << log;
  }
}

TEST_F(ModelTest, BindFailuresNameTheBindCall) {
  // Texts longer than the connection's length limit cannot be bound (SQLITE_TOOBIG, 18).
  // The limit stays above the length of every query text.
  const std::string long_text(2000, 'x');
  ASSERT_EQ(sqlite3_exec(db_.get(),
                         "INSERT INTO processors VALUES (4, 'Long', '', printf('%.1500c', 'f'), "
                         "1, 1, 0, '', '')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  std::shared_ptr<Model> member = CPUModel::from_id(4);
  ASSERT_NE(member, nullptr);
  ASSERT_EQ(member->family().size(), 1500u);
  sqlite3_limit(db_.get(), SQLITE_LIMIT_LENGTH, 1000);
  struct Case {
    const char* name;
    std::function<void()> run;
    const char* call;
  } cases[] = {
      {"CPUModel::from_brand", [&] { (void)CPUModel::from_brand(long_text); },
       "sqlite3_bind_text(stmt, 1, trimmed_brand.data(), trimmed_brand.length(), SQLITE_STATIC)"},
      {"MacModel::from_model_id", [&] { (void)MacModel::from_model_id(long_text); },
       "sqlite3_bind_text(stmt, 1, model_id.data(), model_id.length(), SQLITE_STATIC)"},
      {"MacModel::from_model_id_and_brand",
       [&] { (void)MacModel::from_model_id_and_brand("M", long_text); },
       "sqlite3_bind_text(stmt, 2, brand.data(), brand.length(), SQLITE_STATIC)"},
      {"AndroidModel::from_model_and_motherboard 1",
       [&] { (void)AndroidModel::from_model_and_motherboard(long_text, ""); },
       "sqlite3_bind_text(stmt, 1, model.data(), model.length(), SQLITE_STATIC)"},
      {"AndroidModel::from_model_and_motherboard 2",
       [&] { (void)AndroidModel::from_model_and_motherboard("PA", long_text); },
       "sqlite3_bind_text(stmt, 2, motherboard.data(), motherboard.length(), SQLITE_STATIC)"},
      {"iOSModel::from_model_id", [&] { (void)iOSModel::from_model_id(long_text); },
       "sqlite3_bind_text(stmt, 1, model_id.data(), model_id.length(), SQLITE_STATIC)"},
      {"models_in_family", [&] { (void)member->models_in_family(); },
       "sqlite3_bind_text(stmt, 1, family.data(), family.length(), SQLITE_STATIC)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_failure(c.run, std::string(c.call) + " failed 18", "string or blob too big");
  }
}

}  // namespace
}  // namespace gadget
