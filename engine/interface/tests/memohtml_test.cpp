// HTML pages kept in memos, written as files: the base address, the tag
// rewriting, the page as a whole, and (where Chromium is installed) the page
// rendered by a browser without console messages.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/interface/memohtml.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/zet01_open.h"
#include "platform/files.h"

namespace {

using interface_test::InterfaceTest;

TEST(MemoHtml, BaseAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://server/pfad/seite.html", "http://server/"},
      {"http://server/", "http://server/"},
      {"http://server", "http://server/"},
      {"file:///tmp/x", "file:///"},
      {"", "/"},
  };
  for (const auto& [address, base] : cases) EXPECT_EQ(Html::BaseOf(address), base) << address;
}

TEST(MemoHtml, TagRewriting) {
  const std::string longAlt(300, 'a');
  const std::pair<std::string, std::string> cases[] = {
      // The text colour becomes black unless the background is black.
      {"body text=\"#ffffff\" bgcolor=\"#ffffff\"", "body text=\"#000000\" bgcolor=\"#ffffff\""},
      {"body text=\"#ffffff\" bgcolor=\"#000000\"", "body text=\"#ffffff\" bgcolor=\"#000000\""},
      {"BODY TEXT=red", "BODY TEXT=\"#000000\""},
      {"body background=\"alt.gif\" text=\"#123456\" link=blue",
       "body background=\"BG\" text=\"#000000\" link=blue"},
      {"body bgcolor=white", "body bgcolor=white"},
      // Every image gets the image address; its other attributes stay.
      {"img src=\"a.gif\" width=10", "img src=\"IMG\" width=10"},
      {"IMG width=10 SRC=a.gif", "IMG width=10 SRC=\"IMG\""},
      {"img  src = \"a b.gif\" alt=\"x\"", "img  src =\"IMG\" alt=\"x\""},
      {"img width=10", "img width=10"},
      {"p class=\"img\"", "p class=\"img\""},
      // Tags of any length stay whole.
      {"img alt=\"" + longAlt + "\" src=\"a.gif\"", "img alt=\"" + longAlt + "\" src=\"IMG\""},
  };
  for (const auto& [tag, rewritten] : cases) EXPECT_EQ(Html::RewriteTag(tag, "IMG", "BG"), rewritten) << tag;
}

class MemoPage : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    cursor_ = ZetTableCreate(relation_);
  }
  // Appends an article whose memo holds text and makes it the table's
  // current record.
  void Store(const std::string& text) {
    ASSERT_EQ(ZetTableAppend(cursor_), 0);
    ASSERT_EQ(ZetTableSetStr(cursor_, "CODE", std::to_string(++code_).c_str()), 0);
    if (!text.empty()) {
      ASSERT_EQ(ZetTableInitPutMemo(cursor_, "NOTIZ"), 0);
      ASSERT_EQ(ZetTablePutMemoBlock(text.data(), int32_t(text.size())), int32_t(text.size()));
      ASSERT_GE(ZetTableDonePutMemo(cursor_, "NOTIZ"), 0);
    }
    ASSERT_EQ(ZetTableAppendConfirm(cursor_), 0);
    ASSERT_EQ(Zet01::ReadRecord(relation_, uint32_t(ZetTableGetRecNo(cursor_))), 0);
  }
  std::string Page(const std::string& text, const std::string& base = "http://server/kunden/start.html") {
    Store(text);
    const std::string file = TempPath("seite.htm");
    EXPECT_EQ(Html::WriteMemoPage(relation_, editing_test::kNotiz, file, base, "http://server/bilder/x.gif",
                                  "http://server/bg.gif"),
              0);
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int32_t relation_ = 0;
  int32_t cursor_ = 0;
  int code_ = 0;
};

TEST_F(MemoPage, WritesTheBaseAndRewritesTheLinks) {
  const std::string memo =
      "<html>\r<body text=\"#ffffff\" bgcolor=\"#ffffff\" background=\"alt.gif\">\r"
      "<p>Gr\xFC\xDF" "e &amp; <img src=\"a.gif\" width=10> und <a href=\"zwei.html\">weiter</a></p>\r"
      "</body></html>";
  EXPECT_EQ(Page(memo),
            "<BASE HREF=\"http://server/\"><html>\r\n"
            "<body text=\"#000000\" bgcolor=\"#ffffff\" background=\"http://server/bg.gif\">\r\n"
            "<p>Gr\xFC\xDF" "e &amp; <img src=\"http://server/bilder/x.gif\" width=10> und "
            "<a href=\"zwei.html\">weiter</a></p>\r\n</body></html>");
}

TEST_F(MemoPage, EdgeCases) {
  // An empty memo: an empty file, no BASE element.
  EXPECT_EQ(Page(""), "");
  // A stored line end inside a tag is part of the tag.
  EXPECT_EQ(Page("<img\rsrc=\"a.gif\">"), "<BASE HREF=\"http://server/\"><img\r\nsrc=\"http://server/bilder/x.gif\">");
  // A tag cut off by the memo's end is not written; blanks after "<" go.
  EXPECT_EQ(Page("Text < b>fett</b> <img src", "http://s"), "<BASE HREF=\"http://s/\">Text <b>fett</b> ");
  // A file that cannot be created.
  EXPECT_EQ(Html::WriteMemoPage(relation_, editing_test::kNotiz, TempPath("fehlt/x.htm"), "", "", ""), 1);
  // Not a memo field.
  EXPECT_EQ(Html::WriteMemoPage(relation_, editing_test::kName, TempPath("x.htm"), "", "", ""), 34);
  // The language reaches the writer through its hook (file, base, unused,
  // image, background).
  Store("<img src=a.gif>");
  const std::array<ShortStr, EngineHooks::kMemoHtmlTexts> texts = {
      ShortStr(TempPath("hook.htm")), ShortStr("http://h/a/b"), ShortStr("nicht benutzt"), ShortStr("I.gif"),
      ShortStr("B.gif")};
  ASSERT_EQ(EngineHooks::MemoToHtml(relation_, editing_test::kNotiz, texts.data()), 0);
  std::ifstream in(TempPath("hook.htm"), std::ios::binary);
  std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(page, "<BASE HREF=\"http://h/\"><img src=\"I.gif\">");
}

// Runs Chromium headless on a file: its standard output (the DOM) and the
// console lines of its log.
struct Rendered {
  std::string dom;
  std::string console;
};
Rendered Render(const std::string& dir, const std::string& file) {
  const std::string log = dir + "/chromium.log";
  const std::string command = "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + dir +
                              "/profile --enable-logging=stderr --v=0 --dump-dom file://" + file + " 2>" + log;
  Rendered r;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.dom.append(buffer, n);
    pclose(p);
  }
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.find("CONSOLE") != std::string::npos) r.console += line + "\n";
  return r;
}

TEST_F(MemoPage, RendersInChromiumWithoutConsoleMessages) {
  if (!platform::FileExists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed: the page is not rendered";
  const std::string pixel = "data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==";
  Store("<html><head><title>Seite</title></head>\r<body text=\"#ffffff\" background=\"alt.gif\">\r"
        "<h1>Gr\xFC\xDF" "e</h1><img src=\"fehlt.gif\" width=1 height=1>\r"
        "<script>document.body.setAttribute('data-images', document.images[0].complete)</script>\r"
        "</body></html>");
  const std::string file = TempPath("chrom.htm");
  ASSERT_EQ(Html::WriteMemoPage(relation_, editing_test::kNotiz, file, "file:///", pixel, pixel), 0);
  // The check itself works: a page that logs is seen.
  const std::string control = TempPath("control.htm");
  std::ofstream(control) << "<html><body><script>console.error('control')</script></body></html>";
  const Rendered seen = Render(TempPath(""), control);
  if (seen.console.empty()) GTEST_SKIP() << "chromium logs no console messages here: the page is not checked";
  const Rendered r = Render(TempPath(""), file);
  EXPECT_EQ(r.console, "");
  EXPECT_NE(r.dom.find("<h1>Gr"), std::string::npos) << r.dom;
  EXPECT_NE(r.dom.find("text=\"#000000\""), std::string::npos) << r.dom;
  EXPECT_NE(r.dom.find("data-images=\"true\""), std::string::npos) << r.dom;
}

}  // namespace
