#include "util/shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace sg::test {
namespace {

namespace fs = std::filesystem;

TEST(SanitiseTitle, MakesTitlesUsableAsFileNames) {
  struct Case {
    const char* title;
    const char* name;
  };
  const Case cases[] = {
      // Trimmed before the question mark becomes a blank, so that one stays.
      {"News: today?", "News; today "},
      {"  \t Title \r\n", "Title"},
      {"a\"b*c/d\\e", "a'bxc-d-e"},
      {"Caf\xc3\xa9 \xe2\x80\x94 menu", "Caf\xc3\xa9 \xe2\x80\x94 menu"},
      {"", ""},
      // Controls inside a title would forge names and lines: blanks.
      {"Line one\nLine\x1b two\x7f", "Line one Line  two"},
  };
  for (const Case& c : cases) {
    std::string title = c.title;
    sanitiseTitle(title);
    EXPECT_EQ(title, c.name) << c.title;
  }
}

TEST(ShellLink, WritesAFreedesktopLinkFileWithEscapedValues) {
  TempDir dir;
  // A name in another encoding than UTF-8 (Latin-1 "é").
  std::string link = dir.file(" Caf\xe9.desktop");
  ASSERT_TRUE(createShellLink("/srv/Gleaned Sites/www.example.com/default.html", link, "line one\nline\ttwo \\ end "));
  EXPECT_EQ(readFile(link),
            "[Desktop Entry]\n"
            "Version=1.0\n"
            "Type=Link\n"
            "Name=\\sCaf\xef\xbf\xbd\n"
            "Comment=line one\\nline\\ttwo \\\\ end\\s\n"
            "URL=file:///srv/Gleaned%20Sites/www.example.com/default.html\n"
            "Icon=text-html\n");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{" Caf\xe9.desktop"});
}

TEST(ShellLink, TargetSurvivesTheRoundTrip) {
  TempDir dir;
  const char* targets[] = {
      "/home/user/Gleaned Sites/www.example.com/default.html",
      "/home/user/Sites/caf\xc3\xa9/p\xc3\xa4ge \xc3\xbc.html",  // UTF-8
      "/home/user/Sites/raw\xe9\xff.html",                       // bytes of no encoding in particular
  };
  int n = 0;
  for (const char* target : targets) {
    // Both names: the reader goes by content, not by extension.
    for (const char* extension : {".desktop", ".url"}) {
      std::string link = dir.file("link" + std::to_string(n++) + extension);
      ASSERT_TRUE(createShellLink(target, link, "http://www.example.com/")) << target;
      std::string back;
      EXPECT_TRUE(readShortcutTarget(link, back)) << link;
      EXPECT_EQ(back, target);
    }
  }
}

TEST(ShellLink, ReplacesAnEarlierLinkButNoOtherFile) {
  TempDir dir;
  std::string link = dir.file("Site.desktop");
  ASSERT_TRUE(createShellLink("/old.html", link, "old"));
  ASSERT_TRUE(createShellLink("/new.html", link, "new"));
  std::string target;
  ASSERT_TRUE(readShortcutTarget(link, target));
  EXPECT_EQ(target, "/new.html");

  std::string page = dir.file("saved.desktop");
  writeFile(page, "<html>a saved page whose URL ended in .desktop</html>");
  EXPECT_FALSE(createShellLink("/new.html", page, "new"));
  EXPECT_EQ(readFile(page), "<html>a saved page whose URL ended in .desktop</html>");

  EXPECT_FALSE(createShellLink("/new.html", dir.file("missing/Site.desktop"), "new"));
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"Site.desktop", "saved.desktop"}));
}

TEST(ShortcutTarget, ReadsUrlOfTheShortcutGroups) {
  struct Case {
    const char* name;
    const char* content;
    bool found;
    const char* target;
  };
  const Case cases[] = {
      {"windows.url",
       "\xef\xbb\xbf[DEFAULT]\r\nBASEURL=http://wrong.example/\r\n"
       "[InternetShortcut]\r\nurl = http://www.example.com/page.html \r\nIconIndex=0\r\n",
       true, "http://www.example.com/page.html"},
      {"other-group-first.url", "[Other]\nURL=http://wrong.example/\n[internetshortcut]\nURL=http://right.example/\n",
       true, "http://right.example/"},
      {"web.desktop", "[Desktop Entry]\nType=Link\nURL[de]=http://wrong.example/\nURL=http://www.example.com/\n", true,
       "http://www.example.com/"},
      {"localhost.desktop", "# made elsewhere\n[Desktop Entry]\r\nURL=file://localhost/tmp/a%20b.html\r\n", true,
       "/tmp/a b.html"},
      {"short-form.desktop", "[Desktop Entry]\nURL=file:/tmp/c%C3%A9.html\n", true, "/tmp/c\xc3\xa9.html"},
      {"desktop-wins.url", "[InternetShortcut]\nURL=http://second.example/\n[Desktop Entry]\nURL=file:///first.html\n",
       true, "/first.html"},
      {"neither.url", "[Other]\nURL=http://www.example.com/\n", false, ""},
      {"application.desktop", "[Desktop Entry]\nType=Application\nExec=true\n", false, ""},
      {"page.url", "<html><body>not a shortcut</body></html>", false, ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    writeFile(dir.file(c.name), c.content);
    std::string target = "unchanged";
    EXPECT_EQ(readShortcutTarget(dir.file(c.name), target), c.found) << c.name;
    EXPECT_EQ(target, c.found ? c.target : "unchanged") << c.name;
  }
  std::string target;
  EXPECT_FALSE(readShortcutTarget(dir.file("missing.url"), target));
  EXPECT_FALSE(readShortcutTarget(dir.path(), target));
}

}  // namespace
}  // namespace sg::test
