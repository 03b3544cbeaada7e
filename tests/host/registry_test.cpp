#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/command.h"
#include "host/error.h"
#include "host/registry.h"
#include "support/host_status.h"
#include "support/temp_folder.h"

namespace orvex::host {
namespace {

namespace fs = std::filesystem;

const Guid kTestCommand = guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405162}");
const Guid kTestMenu = guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405163}");

using test::errorNumberOf;

using test::TempFolder;

TEST(Guids, ParseAndPrint) {
  EXPECT_EQ(kCommandCategory.toString(), "{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
  EXPECT_EQ(Guid::parse("b56a7c42-83d4-11d2-a2e9-080009b6f22b"), kCommandCategory);
  EXPECT_FALSE(Guid::parse("{B56A7C42-83D4-11D2-A2E9-080009B6F22}"));
  EXPECT_FALSE(Guid::parse("{B56A7C42+83D4-11D2-A2E9-080009B6F22B}"));
  EXPECT_FALSE(Guid::parse("{G56A7C42-83D4-11D2-A2E9-080009B6F22B}"));
  EXPECT_TRUE(Guid().isNull());
}

ClassRecord sampleRecord(const Guid& clsid, std::string name) {
  ClassRecord record;
  record.clsid = clsid;
  record.className = name;
  record.description = name + " Class";
  record.progId = "Orvex8." + name + ".1";
  record.versionIndependentProgId = "Orvex8." + name;
  record.library = "/opt/orvex/lib/liborvexcore.so";
  record.categories = {kCommandCategory, kMenuCategory};
  return record;
}

TEST(RegistryFile, RoundTripKeepsEveryItem) {
  TempFolder folder;
  const fs::path file = folder.path() / "nested" / "registry";
  const std::vector<ClassRecord> records = {sampleRecord(kTestCommand, "orvex_MCP"),
                                            sampleRecord(kTestMenu, "orvex_import")};
  writeRegistryFile(file, records);
  EXPECT_EQ(readRegistryFile(file), records);
  EXPECT_TRUE(readRegistryFile(folder.path() / "missing").empty());
}

TEST(RegistryFile, RegisteringReplacesByClassIdAndUnregisteringRemoves) {
  TempFolder folder;
  const fs::path file = folder.path() / "registry";
  ClassRecord first = sampleRecord(kTestCommand, "first");
  ClassRecord second = sampleRecord(kTestMenu, "second");
  registerClasses(file, std::vector{first, second});
  first.library = "/elsewhere/liborvexcore.so";
  registerClasses(file, std::vector{first});
  auto records = readRegistryFile(file);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].library, "/elsewhere/liborvexcore.so") << "replaced in place, order kept";
  unregisterClasses(file, std::vector{kTestCommand});
  records = readRegistryFile(file);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].className, "second");
}

TEST(RegistryFile, MalformedFilesNameTheLine) {
  TempFolder folder;
  const fs::path file = folder.path() / "registry";
  std::ofstream(file) << "# comment\n[{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405162}]\nClass=A\nno equals sign\n";
  try {
    readRegistryFile(file);
    FAIL() << "a malformed file was read";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kDataError);
    EXPECT_NE(error.description().find("line 4"), std::string::npos) << error.description();
  }
  std::ofstream(file) << "Class=A\n";
  EXPECT_EQ(errorNumberOf([&] { readRegistryFile(file); }), kDataError);
  std::ofstream(file) << "[{not-a-guid}]\n";
  EXPECT_EQ(errorNumberOf([&] { readRegistryFile(file); }), kDataError);
}

class Variables : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"ORVEX_REGISTRY", "XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(Variables, DefaultRegistryPathFollowsTheEnvironment) {
  unsetenv("ORVEX_REGISTRY");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/fieldwork", 1);
  EXPECT_EQ(defaultRegistryPath(), "/home/fieldwork/.config/orvex/registry");
  setenv("XDG_CONFIG_HOME", "/etc/xdg-user", 1);
  EXPECT_EQ(defaultRegistryPath(), "/etc/xdg-user/orvex/registry");
  setenv("ORVEX_REGISTRY", "/srv/orvex.registry", 1);
  EXPECT_EQ(defaultRegistryPath(), "/srv/orvex.registry");
}

// The whole path of a component library: registration through its entry point, creation by
// ProgID in any letter case and by CLSID, the category listing, unregistration.
class ComponentLibrary : public ::testing::Test {
 protected:
  const fs::path library = fs::weakly_canonical(ORVEX_TEST_COMPONENT);
  TempFolder folder;
  const fs::path registryFile = folder.path() / "registry";
};

TEST_F(ComponentLibrary, RegistrationWritesEveryClassWithItsLibrary) {
  registerLibrary(library, registryFile);
  const auto records = readRegistryFile(registryFile);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].clsid, kTestCommand);
  EXPECT_EQ(records[0].className, "TestCommand");
  EXPECT_EQ(records[0].description, "TestCommand Class");
  EXPECT_EQ(records[0].progId, "TESTLIB.TestCommand.1");
  EXPECT_EQ(records[0].versionIndependentProgId, "TESTLIB.TestCommand");
  EXPECT_EQ(records[0].library, library);
  EXPECT_EQ(records[0].threadingModel, "Apartment");
  EXPECT_EQ(records[0].categories, std::vector<Guid>{kCommandCategory});
  EXPECT_TRUE(records[1].progId.empty());
}

TEST_F(ComponentLibrary, CreatesByProgIdInAnyLetterCaseAndByClassId) {
  registerLibrary(library, registryFile);
  const auto registry = ComponentRegistry::fromFile(registryFile);
  for (const char* progId : {"TESTLIB.TestCommand", "testlib.testcommand", "TESTLIB.TESTCOMMAND.1",
                             "{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405162}"}) {
    auto command = registry.createAs<Command>(progId);
    EXPECT_EQ(command->name(), "TestCommand") << progId;
  }
  EXPECT_EQ(std::dynamic_pointer_cast<Command>(registry.create(kTestCommand))->caption(), "Test Command");

  auto menu = registry.createAs<MenuDef>("TestLib.TestMenu");
  ItemInfo info{"untouched", false, 0};
  EXPECT_FALSE(menu->itemInfo(2, info));
  EXPECT_EQ(info.id, "untouched");
  ASSERT_TRUE(menu->itemInfo(1, info));
  EXPECT_EQ(info, (ItemInfo{"TESTLIB.Worker", true, 0}));

  EXPECT_EQ(errorNumberOf([&] { registry.createAs<Command>("TESTLIB.Worker"); }), kNoInterface);
  EXPECT_EQ(errorNumberOf([&] { registry.create("TESTLIB.Nothing"); }), kClassNotRegistered);
  EXPECT_EQ(errorNumberOf([&] { registry.create(""); }), kClassNotRegistered);
}

TEST_F(ComponentLibrary, ListsTheClassesOfACategory) {
  registerLibrary(library, registryFile);
  const auto registry = ComponentRegistry::fromFile(registryFile);
  const auto commands = registry.classesInCategory(kCommandCategory);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].className, "TestCommand");
  EXPECT_EQ(commands[1].className, "FailingCommand");
  EXPECT_EQ(registry.classesInCategory(kMenuCategory).size(), 1u);
  EXPECT_EQ(registry.classesInCategory(kToolBarCategory).size(), 1u);
  EXPECT_TRUE(registry.classesInCategory(Guid{}).empty());
}

TEST_F(ComponentLibrary, UnregistrationRemovesOnlyItsClasses) {
  registerClasses(registryFile,
                  std::vector{sampleRecord(guid("{00000000-0000-0000-0000-000000000001}"), "other")});
  registerLibrary(library, registryFile);
  unregisterLibrary(library, registryFile);
  const auto registry = ComponentRegistry::fromFile(registryFile);
  ASSERT_EQ(registry.classes().size(), 1u);
  EXPECT_EQ(registry.classes()[0].className, "other");
  EXPECT_EQ(errorNumberOf([&] { registry.create("TESTLIB.TestCommand"); }), kClassNotRegistered);
}

TEST_F(ComponentLibrary, ALibraryCanUnloadOnlyWhenNoObjectLives) {
  registerLibrary(library, registryFile);
  const auto registry = ComponentRegistry::fromFile(registryFile);
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr) << "the registry loaded the library";
  auto canUnload = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, kCanUnloadNowSymbol));
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, kGetClassObjectSymbol));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), kOk);
  {
    auto object = registry.create("TESTLIB.Worker");
    auto copy = object;
    EXPECT_EQ(canUnload(), kFalse);
  }
  EXPECT_EQ(canUnload(), kOk);

  ClassFactory* factory = reinterpret_cast<ClassFactory*>(1);
  const Guid unknown = guid("{00000000-0000-0000-0000-000000000002}");
  EXPECT_EQ(getClassObject(&unknown, &factory), kClassNotAvailable);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(getClassObject(nullptr, &factory), kInvalidPointer);
  ASSERT_EQ(getClassObject(&kTestMenu, &factory), kOk);
  factory->lockServer(true);
  EXPECT_EQ(canUnload(), kFalse);
  factory->lockServer(false);
  EXPECT_EQ(canUnload(), kOk);
  dlclose(handle);
}

TEST_F(ComponentLibrary, WithoutARegistryFileTheLibrariesBesideTheHostAreUsed) {
  const auto registry = ComponentRegistry::open({registryFile, library.parent_path()});
  EXPECT_FALSE(fs::exists(registryFile)) << "in-memory registration writes nothing";
  EXPECT_EQ(registry.classes().size(), 5u);
  EXPECT_EQ(registry.createAs<Command>("testlib.testcommand")->name(), "TestCommand");
  EXPECT_EQ(componentLibrariesIn(library.parent_path()), std::vector<fs::path>{library});

  // Once a registry file exists, it is what the host reads.
  registerClasses(registryFile,
                  std::vector{sampleRecord(guid("{00000000-0000-0000-0000-000000000003}"), "x")});
  EXPECT_EQ(ComponentRegistry::open({registryFile, library.parent_path()}).classes().size(), 1u);
}

// A folder scan opens only libraries that export the entry point: loading any other shared
// library there (a desktop-GIS plug-in, say) would map its whole dependency tree.
TEST_F(ComponentLibrary, AFolderScanLeavesOtherLibrariesUnloaded) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dlerror), &info), 0);
  const fs::path scanned = folder.path() / "scanned";
  fs::create_directories(scanned);
  fs::copy_file(library, scanned / library.filename());
  const fs::path other = scanned / "libother.so";
  fs::copy_file(info.dli_fname, other);
  std::ofstream(scanned / "libtext.so") << "not a library";

  const auto registry = ComponentRegistry::fromFolder(scanned);
  EXPECT_EQ(registry.classes().size(), 5u);
  EXPECT_EQ(dlopen(other.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the other library was loaded";
  ASSERT_EQ(registry.problems().size(), 1u) << "a file the loader must judge is still reported";
  EXPECT_NE(registry.problems()[0].find("libtext.so"), std::string::npos) << registry.problems()[0];
  EXPECT_EQ(componentLibrariesIn(scanned), std::vector<fs::path>{scanned / library.filename()});
}

TEST_F(ComponentLibrary, AMissingLibraryIsReportedWhenUsed) {
  ClassRecord record = sampleRecord(kTestCommand, "TestCommand");
  record.library = folder.path() / "libgone.so";
  registerClasses(registryFile, std::vector{record});
  const auto registry = ComponentRegistry::fromFile(registryFile);
  EXPECT_EQ(errorNumberOf([&] { registry.create(kTestCommand); }), kFail);
}

}  // namespace
}  // namespace orvex::host
