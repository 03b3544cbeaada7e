// The About command and its box, clicked in the headless host.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "host/form.h"
#include "host/text.h"
#include "platform/headless/headless_application.h"
#include "ui/gis/host_references.h"
#include "ui/shell/cls_about.h"
#include "ui/shell/frm_about.h"

namespace orvex::ui {
namespace {

struct ShownForm {
  std::string name, caption, title, text;
  bool textReadOnly = false;
};

class AboutClick : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::ClearHostReferences();
    application.scriptedUi().setFormClosedHook([this](const host::Form& form) {
      ShownForm& seen = shown.emplace_back();
      seen.name = form.name();
      seen.caption = form.caption();
      seen.title = form.control("lblTitle").caption();
      seen.text = form.control("txtAbout").text();
      seen.textReadOnly = form.control("txtAbout").readOnly();
    });
  }
  void TearDown() override { gis::ClearHostReferences(); }

  std::ostringstream messages;
  platform::headless::HeadlessApplication application{{.messages = &messages}};
  std::vector<ShownForm> shown;
};

TEST_F(AboutClick, ShowsTheBoxFilledOnLoadAndTheExitButtonClosesIt) {
  application.scriptedUi().setFormScript("frmAbout", platform::headless::FormScript().click("btnExit"));
  clsAbout about;
  about.onCreate(application);
  EXPECT_EQ(about.onClick(), host::kOk);

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].name, "frmAbout");
  EXPECT_EQ(shown[0].caption, "About TALVO Tools ");  // the trailing blank belongs to it
  EXPECT_EQ(shown[0].title, "TALVO: Talvo for ArcGIS");
  EXPECT_EQ(shown[0].text, shell::AboutText());
  EXPECT_TRUE(shown[0].textReadOnly);
  // Closed by its own button, not by the host giving up on a form nobody closed.
  ASSERT_EQ(application.scriptedUi().forms().size(), 1u);
  EXPECT_EQ(application.scriptedUi().forms()[0].result, host::dialog_result::kOk);
  EXPECT_EQ(messages.str(), "");
}

TEST_F(AboutClick, RefreshesTheSharedHostReferencesFirst) {
  clsAbout about;
  about.onCreate(application);
  about.onClick();  // no script: the host closes the box itself
  const gis::HostReferences& shared = gis::SharedHostReferences();
  EXPECT_EQ(shared.application, &application);
  EXPECT_EQ(shared.document, application.document());
  EXPECT_EQ(shared.focusMap, application.document()->focusMap());
}

TEST(AboutText, ParagraphsComeInTheirOrderWithVersionAndBuildDate) {
  const auto paragraphs = shell::AboutParagraphs();
  ASSERT_EQ(paragraphs.size(), 9u);
  EXPECT_TRUE(std::regex_match(
      paragraphs[1], std::regex(R"(Version 1\.1 \(built 20\d\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])\))")))
      << paragraphs[1];
  const std::string description = host::toLowerAscii(paragraphs[4]);  // the two model families
  EXPECT_NE(description.find("minimum convex polygons"), std::string::npos);
  EXPECT_NE(description.find("kernel"), std::string::npos);
  EXPECT_NE(paragraphs[7].find("GPL-2.0-or-later"), std::string::npos);
  EXPECT_EQ(paragraphs[8].rfind("Disclaimer\n- ", 0), 0u);
  // Joined with blank lines, nothing around them.
  const std::string text = shell::AboutText();
  EXPECT_EQ(text.rfind(paragraphs[0] + "\n\n" + paragraphs[1] + "\n\n", 0), 0u);
  EXPECT_EQ(text.back(), paragraphs[8].back());
}

}  // namespace
}  // namespace orvex::ui
