// Edits of a shapefile through a working copy and a journal: a commit switches the whole set,
// a roll-back leaves the original byte for byte, a second edit is refused, and every state an
// interruption can leave on disk is finished or rolled back by the next open.

#include <gtest/gtest.h>

#include <signal.h>

#include <array>
#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "host/error.h"
#include "platform/gdal/deferred_stops.h"
#include "platform/gdal/shapefile_edit.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "robustness/robustness_support.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using orvex::platform::gdal::ShapefileEdit;
using orvex::platform::gdal::ShapefileFeatureClass;
using orvex::test::circleFixes;
using orvex::test::snapshot;
using orvex::test::TempFolder;
using orvex::test::TestLayer;
using orvex::test::writeLayer;

constexpr std::array<const char*, 5> kSet{".shp", ".shx", ".dbf", ".prj", ".cpg"};

/// A folder with "x.shp" of 3 fixes (the original) and, in "b/", "x.shp" of 2 fixes (an
/// edited version).
struct Versions {
  TempFolder folder{"edit"};
  fs::path shp = folder / "x.shp";
  Versions() {
    writeLayer(shp, orvex::test::layerOf(circleFixes(3)));
    fs::create_directories(folder / "b");
    writeLayer(folder / "b" / "x.shp", orvex::test::layerOf(circleFixes(2)));
  }
  int count() const { return ShapefileFeatureClass::open(shp)->featureCount(); }
  fs::path editFolder() const { return folder / ".x.orvex-edit"; }
  /// Leaves the state of a switch interrupted after `moved` of the set's files were renamed,
  /// with or without its journal.
  void interruptedSwitch(bool journal, std::size_t moved, bool complete = true) const {
    fs::create_directories(editFolder() / "new");
    std::string text = "orvex-edit 1\n";
    for (std::size_t i = 0; i < kSet.size(); ++i) {
      const std::string name = std::string("x") + kSet[i];
      fs::copy_file(folder / "b" / name, (i < moved ? folder.path() : editFolder() / "new") / name,
                    fs::copy_options::overwrite_existing);
      text += "move " + name + "\n";
    }
    if (complete) text += "end\n";
    if (journal) std::ofstream(editFolder() / "journal") << text;
  }
};

TEST(ShapefileEdit, CommitSwitchesTheWholeSetAndLeavesNothingBeside) {
  Versions v;
  {
    auto edit = ShapefileEdit::begin(v.shp);
    ShapefileFeatureClass::open(edit.workingCopy())->deleteRow(0);
    edit.commit();
  }
  EXPECT_EQ(v.count(), 2);
  EXPECT_FALSE(fs::exists(v.editFolder()));
  EXPECT_FALSE(fs::exists(v.folder / ".x.orvex-lock"));
}

TEST(ShapefileEdit, AnEditNotCommittedLeavesTheOriginalByteForByte) {
  Versions v;
  const auto before = snapshot(v.folder.path());
  {
    auto edit = ShapefileEdit::begin(v.shp);
    ShapefileFeatureClass::open(edit.workingCopy())->deleteRow(0);
  }
  EXPECT_EQ(snapshot(v.folder.path()), before);
}

TEST(ShapefileEdit, ASecondEditOfTheSameFileIsRefusedWhileTheFirstRuns) {
  Versions v;
  auto first = ShapefileEdit::begin(v.shp);
  try {
    ShapefileEdit::begin(v.shp);
    FAIL() << "a second edit was allowed";
  } catch (const orvex::host::Error& error) {
    EXPECT_EQ(error.number(), orvex::host::kAccessDenied);
    EXPECT_NE(error.description().find("x.shp"), std::string::npos) << error.description();
  }
}

/// Adds a field, rewrites every row (reading another row before some of the rewrites) and
/// deletes one, as the travel and duplicate tools do; closes the file. `afterField` runs once
/// the field is added.
void editRows(const fs::path& shp, const std::function<void()>& afterField = {}) {
  const auto fc = ShapefileFeatureClass::open(shp);
  fc->addField(orvex::host::FieldDef("D", orvex::host::FieldType::Double));
  if (afterField) afterField();
  const auto cursor = fc->update();
  while (auto row = cursor->next()) {
    if (row->oid() % 3 == 1) fc->row(row->oid() - 1);
    row->setValue(row->findField("D"), orvex::host::Value(1.5 * row->oid()));
    cursor->updateRow(*row);
  }
  fc->deleteRow(2);
  fc->close();
}

TEST(ShapefileEdit, AWorkingCopyIsEditedInMemoryToTheBytesAnEditOnDiskWrites) {
  TempFolder folder("memory");
  writeLayer(folder / "x.shp", orvex::test::layerOf(circleFixes(40)));
  fs::create_directories(folder / "disk");
  for (const char* extension : kSet)
    fs::copy_file(folder / (std::string("x") + extension), folder / "disk" / (std::string("x") + extension));
  editRows(folder / "disk" / "x.shp");

  auto edit = ShapefileEdit::begin(folder / "x.shp");
  const fs::path working = edit.workingCopy();
  const std::string untouched = orvex::test::readAll(fs::path(working).replace_extension(".dbf"));
  editRows(working, [&] {
    EXPECT_EQ(orvex::test::readAll(fs::path(working).replace_extension(".dbf")), untouched)
        << "the working copy on disk is written when it is closed, not row by row";
  });
  for (const char* extension : {".shp", ".shx", ".dbf"}) {
    std::string memory = orvex::test::readAll(fs::path(working).replace_extension(extension));
    std::string disk = orvex::test::readAll(folder / "disk" / (std::string("x") + extension));
    if (std::string_view(extension) == ".dbf" && memory.size() > 4 && disk.size() > 4) {
      memory.replace(1, 3, "   ");  // bytes 1 to 3: the date of the last update
      disk.replace(1, 3, "   ");
    }
    EXPECT_EQ(memory, disk) << extension;
  }
  const auto fc = ShapefileFeatureClass::open(folder / "disk" / "x.shp");
  EXPECT_EQ(fc->featureCount(), 39);
  for (const orvex::host::ObjectId id : {0, 1, 2, 3, 38}) {
    // Rows past the deleted one moved up by one as the close packed it away; 1.5 * id is exact.
    EXPECT_EQ(fc->row(id)->value("D"), orvex::host::Value(1.5 * (id < 2 ? id : id + 1))) << id;
  }
}

// Every state a kill can leave, and what the next open must make of it: the original (3
// fixes) before the journal is complete, the edited set (2) once it is.
struct Interruption {
  const char* what;
  bool journal;
  std::size_t moved;
  bool complete;
  int expected;
};

class InterruptedEdit : public testing::TestWithParam<Interruption> {};

TEST_P(InterruptedEdit, TheNextOpenFinishesOrRollsBack) {
  const Interruption& state = GetParam();
  Versions v;
  v.interruptedSwitch(state.journal, state.moved, state.complete);
  EXPECT_EQ(v.count(), state.expected) << state.what;
  EXPECT_FALSE(fs::exists(v.editFolder())) << state.what;
  for (const char* extension : kSet) EXPECT_TRUE(fs::exists(fs::path(v.shp).replace_extension(extension)));
}

INSTANTIATE_TEST_SUITE_P(States, InterruptedEdit,
                         testing::Values(Interruption{"copy made, no journal", false, 0, true, 3},
                                         Interruption{"journal cut short", true, 0, false, 3},
                                         Interruption{"journal written, nothing moved", true, 0, true, 2},
                                         Interruption{"journal written, two files moved", true, 2, true, 2},
                                         Interruption{"journal written, every file moved", true, kSet.size(),
                                                      true, 2}));

}  // namespace

namespace {

std::atomic<int> stopsTaken{0};

void countStop(int signal) {
  if (!orvex::platform::gdal::DeferredStops::deferIfSwitching(signal)) stopsTaken.fetch_add(1);
}

// The kernel hands a process's stop signal to any thread that does not block it: one taken by
// another thread during a switch must still wait for the switch's end.
TEST(DeferredStops, AStopTakenByAnotherThreadWaitsForTheSwitchToEnd) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = &countStop;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGHUP, &action, &previous), 0);
  stopsTaken = 0;
  std::atomic<bool> go{false};
  // Started before the switch, as a program's other threads are: it does not block the stops.
  std::thread other([&go] {
    while (!go.load()) std::this_thread::yield();
    pthread_kill(pthread_self(), SIGHUP);
  });
  {
    const orvex::platform::gdal::DeferredStops switching;
    go = true;
    other.join();
    EXPECT_EQ(stopsTaken.load(), 0) << "the stop ran in the middle of the switch";
  }
  EXPECT_EQ(stopsTaken.load(), 1) << "the stop was lost instead of taken after the switch";
  sigaction(SIGHUP, &previous, nullptr);
}

}  // namespace
