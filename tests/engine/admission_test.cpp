#include <gtest/gtest.h>

#include "engine/engine_fixture.h"

namespace sg::test {
namespace {

using Admission = ControllerTest;

struct AdmitCase {
  const char* url;
  bool admitted;
  const char* information;  // expected when refused; "%s" stands for the URL
  bool skipped;
};

// Offers each URL as a child of parent and checks the admission outcome.
void expectAdmissions(DownloadController& controller, LinkRecord& parent, std::initializer_list<AdmitCase> cases) {
  for (const AdmitCase& c : cases) {
    LinkRecord record(&parent, false);
    bool admitted = record.initialise(c.url, &controller, parent.depth + 1);
    EXPECT_EQ(admitted, c.admitted) << c.url << ": " << record.information;
    if (!c.admitted) {
      std::string expected = c.information;
      size_t at = expected.find("%s");
      if (at != std::string::npos) expected.replace(at, 2, record.url());
      EXPECT_EQ(record.information, expected) << c.url;
      EXPECT_EQ(record.status == LinkStatus::Skipped, c.skipped) << c.url;
    }
  }
}

TEST_F(Admission, OnlyWebUrlsAreAdmitted) {
  setRoot("http://www.example.com/");
  expectAdmissions(controller, controller,
                   {{"mailto:someone@example.com", false, "Invalid URL", false},
                    {"ftp://ftp.example.com/file", false, "Invalid URL", false},
                    {"http://www.example.com/page.html", true, "", false},
                    {"https://www.example.com/secure.html", true, "", false}});
  EXPECT_FALSE(controller.addChild("mailto:someone@example.com", nullptr, false));
  EXPECT_EQ(controller.childCount(), 0u);
}

TEST_F(Admission, ExcludedUrlsAreSkipped) {
  controller.exclusions().addPattern("http://www.example.com/private/");
  setRoot("http://www.example.com/");
  expectAdmissions(controller, controller,
                   {{"http://www.example.com/private", false, "URL excluded by user.", true},
                    {"http://www.example.com/private/a.html", false, "URL excluded by user.", true},
                    {"http://www.example.com/privateer.html", true, "", false}});
}

TEST_F(Admission, StayBelowRootComparesTheRootDirectory) {
  controller.settings.stayBelowRoot = true;
  controller.settings.maxServerDepth = 1;
  setRoot("http://www.example.com/docs/index.html");
  const char* refused = "Ignoring link - object was not in or below directory of root. (%s)";
  expectAdmissions(controller, controller,
                   {{"http://www.example.com/docs/a/b.html", true, "", false},
                    {"http://www.example.com/DOCS/x.html", true, "", false},
                    {"http://www.example.com/docsextra/x.html", true, "", false},
                    {"http://other.example.com/docs/x.html", true, "", false},  // servers are not compared
                    {"http://www.example.com/other.html", false, refused, true}});
}

TEST_F(Admission, FileExtensionsAreSubstringsOfTheList) {
  controller.settings.downloadAll = false;
  controller.settings.fileExtensions = ".html;.GIF";
  setRoot("http://www.example.com/");
  const char* refused = "Unwanted type '%s'";
  expectAdmissions(controller, controller,
                   {{"http://www.example.com/a.htm", true, "", false},
                    {"http://www.example.com/a.gif", true, "", false},
                    {"http://www.example.com/A.HTML", true, "", false},
                    {"http://www.example.com/dir.v2/page", true, "", false},
                    {"http://www.example.com/a.jpg", false, refused, true},
                    {"http://www.example.com/find?name=a.jpg", false, refused, true}});
  controller.settings.downloadAll = true;
  expectAdmissions(controller, controller, {{"http://www.example.com/a.jpg", true, "", false}});
}

TEST_F(Admission, ServerRadiusCountsEveryChangeOfServer) {
  controller.settings.maxServerDepth = 1;
  setRoot("http://one.example.com/");
  ASSERT_TRUE(controller.addChild("http://two.example.com/", nullptr, false));
  LinkRecord* two = controller.child(0);
  EXPECT_EQ(two->serverDepth, 1);
  ASSERT_TRUE(two->addChild("http://two.example.com/more.html", nullptr, false));
  EXPECT_EQ(two->child(0)->serverDepth, 1);
  expectAdmissions(controller, *two,
                   {{"http://three.example.com/", false, "Server 'radius' reached", false},
                    {"http://one.example.com/back.html", false, "Server 'radius' reached", false},
                    {"http://two.example.com/x.html", true, "", false}});
  // A known URL met again beyond the radius is not handed back either.
  std::string rewritten = "unchanged";
  EXPECT_FALSE(two->addChild("http://one.example.com/", &rewritten, false));
  EXPECT_TRUE(rewritten.empty());
}

TEST_F(Admission, InitialiseResetsTheRecord) {
  setRoot("http://www.example.com/");
  LinkRecord record(&controller, false);
  // What an earlier read left must not pass for the new link's.
  record.written = true;
  record.localSource = true;
  record.contentKind = ContentKind::Html;
  ASSERT_TRUE(record.initialise("www.example.com/x.html", &controller, 3));
  EXPECT_FALSE(record.written);
  EXPECT_FALSE(record.localSource);
  EXPECT_EQ(record.contentKind, ContentKind::Unknown);
  EXPECT_EQ(record.localFile(), "/S/www.example.com/x.html");
}

}  // namespace
}  // namespace sg::test
