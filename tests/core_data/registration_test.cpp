// What orvexcore offers a host: its class table and entry points, the registry records, the
// command properties and bitmaps.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/data/command_descriptors.h"
#include "core_data/core_test_host.h"
#include "host/command.h"
#include "host/component_library.h"
#include "host/error.h"
#include "host/registry.h"

// The module's entry points, linked directly from liborvexcore.
extern "C" orvex::host::Status orvex_get_class_object(const orvex::host::Guid*, orvex::host::ClassFactory**);
extern "C" orvex::host::Status orvex_can_unload_now();
extern "C" orvex::host::Status orvex_register_server(const char*);
extern "C" orvex::host::Status orvex_unregister_server(const char*);
extern "C" orvex::host::Status orvex_get_class_table(const orvex::host::ClassEntry**, std::size_t*);

namespace orvex::core {
namespace {

TEST(ClassTable, ListsTheThreeCommandsInOrder) {
  const host::ClassEntry* entries = nullptr;
  std::size_t count = 0;
  ASSERT_EQ(orvex_get_class_table(&entries, &count), host::kOk);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(entries[0].clsid, kOrvexImport.clsid);
  EXPECT_EQ(entries[1].clsid, kOrvexKernel.clsid);
  EXPECT_EQ(entries[2].clsid, kOrvexMcp.clsid);
}

TEST(ClassTable, UnknownClassAndNullArgumentsAreRefused) {
  host::ClassFactory* factory = nullptr;
  const host::Guid unknown = host::guid("{A7E80580-50E9-47DC-A2DD-86A710C3651A}");
  EXPECT_EQ(orvex_get_class_object(&unknown, &factory), host::kClassNotAvailable);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(orvex_get_class_object(nullptr, &factory), host::kInvalidPointer);
  EXPECT_EQ(orvex_get_class_object(&kOrvexImport.clsid, nullptr), host::kInvalidPointer);
}

TEST(ClassTable, CanUnloadOnlyWhenNoObjectOrLockIsAlive) {
  ASSERT_EQ(orvex_can_unload_now(), host::kOk);
  host::ClassFactory* factory = nullptr;
  ASSERT_EQ(orvex_get_class_object(&kOrvexImport.clsid, &factory), host::kOk);
  {
    auto command = factory->createInstance();
    EXPECT_EQ(orvex_can_unload_now(), host::kFalse);
  }
  EXPECT_EQ(orvex_can_unload_now(), host::kOk);
  factory->lockServer(true);
  EXPECT_EQ(orvex_can_unload_now(), host::kFalse);
  factory->lockServer(false);
  EXPECT_EQ(orvex_can_unload_now(), host::kOk);
}

TEST(Registration, WritesAndRemovesTheThreeClasses) {
  test::TempFolder folder;
  const auto registry = folder / "registry";
  ASSERT_EQ(orvex_register_server(registry.c_str()), host::kOk);
  const auto records = host::readRegistryFile(registry);
  ASSERT_EQ(records.size(), 3u);
  const char* names[] = {"orvex_import", "orvex_kernel", "orvex_MCP"};  // the class table's order
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& record = records[i];
    EXPECT_EQ(record.className, names[i]);
    EXPECT_EQ(record.description, std::string(names[i]) + " Class");
    EXPECT_EQ(record.progId, "Orvex8." + std::string(names[i]) + ".1");
    EXPECT_EQ(record.versionIndependentProgId, "Orvex8." + std::string(names[i]));
    EXPECT_EQ(record.categories, std::vector{host::guid("{B56A7C42-83D4-11D2-A2E9-080009B6F22B}")});
    EXPECT_EQ(record.threadingModel, "Apartment");
    EXPECT_EQ(record.library.filename(), "liborvexcore.so");
    EXPECT_TRUE(record.library.is_absolute());
  }
  ASSERT_EQ(orvex_unregister_server(registry.c_str()), host::kOk);
  EXPECT_TRUE(host::readRegistryFile(registry).empty());
}

TEST(Registration, HostCreatesTheImportByProgIdInAnyLetterCase) {
  const auto registry = host::ComponentRegistry::fromFolder(ORVEX_BIN_DIR);
  for (const char* progId : {"orvex8.ORVEX_IMPORT", "Orvex8.orvex_import", "ORVEX8.ORVEX_IMPORT.1"}) {
    SCOPED_TRACE(progId);
    const auto command = registry.createAs<host::Command>(progId);
    EXPECT_EQ(command->name(), "Import Lotek MDB Files");
    EXPECT_EQ(command->caption(), "Import Lotek MDB Files");
    EXPECT_EQ(command->tooltip(), "Import Lotek");
    EXPECT_EQ(command->message(), "Imports points from a set of Lotek MDB data files");
    EXPECT_EQ(command->category(), "Orvex");
    EXPECT_TRUE(command->enabled());
    EXPECT_FALSE(command->checked());
    EXPECT_FALSE(command->helpFile().has_value());
    EXPECT_FALSE(command->helpContextId().has_value());
    EXPECT_EQ(command->bitmap().resourceId, 201);
  }
  EXPECT_EQ(registry.findByProgId("Orvex8.orvex_MOAL"), nullptr);
}

// --- bitmaps and type library ----------------------------------------------------------------

TEST(CommandBitmaps, AreSixteenBySixteenInAtMostSixteenColours) {
  for (const int id : {kImportBitmapResource, kKernelBitmapResource, kMcpBitmapResource}) {
    SCOPED_TRACE(id);
    const host::Bitmap bitmap = commandBitmap(id);
    EXPECT_EQ(bitmap.resourceId, id);
    EXPECT_EQ(bitmap.width, 16);
    EXPECT_EQ(bitmap.height, 16);
    ASSERT_EQ(bitmap.argb.size(), 256u);
    const std::set<std::uint32_t> colours(bitmap.argb.begin(), bitmap.argb.end());
    EXPECT_LE(colours.size(), 16u);
    EXPECT_EQ(bitmap.argb.front() >> 24, 0u);  // transparent background
    EXPECT_GT(std::count_if(bitmap.argb.begin(), bitmap.argb.end(), [](auto c) { return (c >> 24) == 0xFF; }),
              30);
  }
  EXPECT_NE(commandBitmap(kImportBitmapResource).argb, commandBitmap(kMcpBitmapResource).argb);
  EXPECT_TRUE(commandBitmap(202).isNone());
}

}  // namespace
}  // namespace orvex::core
