// The CGI request and output through injected hooks: decoding, the
// parameter tree and its order, long and TEXT* values in the named text
// buffers, the bounds on untrusted lengths, and the output hooks.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/interface/cgi.h"
#include "engine/interface/include/zetcore.h"
#include "engine/language/sysservices.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

// The request the hooks serve, and what they were asked and given.
struct Request {
  std::map<std::string, std::string> env;
  std::string body;
  size_t bodyRead = 0;
  int32_t inputCalls = 0;
  int32_t envCalls = 0;
  std::vector<std::string> written;
} g_request;

int32_t Env(const char* name, char* buffer, int32_t capacity) {
  ++g_request.envCalls;
  const auto it = g_request.env.find(name);
  if (it == g_request.env.end()) return 0;
  const size_t n = std::min(it->second.size(), size_t(capacity));
  it->second.copy(buffer, n);
  buffer[n] = 0;
  return int32_t(it->second.size());
}

int32_t Input(char* buffer, int32_t count) {
  ++g_request.inputCalls;
  // Delivers at most 1000 bytes a call, as a pipe may.
  const size_t n = std::min({size_t(count), size_t(1000), g_request.body.size() - g_request.bodyRead});
  g_request.body.copy(buffer, n, g_request.bodyRead);
  g_request.bodyRead += n;
  return int32_t(n);
}

int32_t Output(const char* text) {
  g_request.written.emplace_back(text);
  return 0;
}

class CgiTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    g_request = Request{};
    ZetSetCGIProcs(Env, Output, Input);
  }
  void TearDown() override {
    ZetSetCGIProcs(nullptr, nullptr, nullptr);
    zettest::EngineTest::TearDown();
  }
  // Reads a GET request with that query string.
  static void Get(const std::string& query) {
    g_request.env = {{"QUERY_STRING", query}};
    ASSERT_EQ(ZetCgiInitParameters(), 0);
  }
  static std::vector<std::pair<std::string, std::string>> Params() {
    std::vector<std::pair<std::string, std::string>> out;
    char name[256];
    for (int32_t i = 0; ZetCgiGetParamName(i, name, sizeof name - 1) == 1; ++i)
      out.emplace_back(name, CGI::FindParamValue(name).str());
    return out;
  }
  static std::string Find(const std::string& name, int32_t* result = nullptr) {
    std::string value(70000, '\0');
    const int32_t r = ZetCgiFindParameter(name.c_str(), value.data(), int32_t(value.size() - 1));
    if (result) *result = r;
    value.resize(std::strlen(value.c_str()));
    return value;
  }
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST_F(CgiTest, DecodingCases) {
  const struct {
    const char* query;
    Pairs params;  // in pre-order
  } cases[] = {
      {"a=1&a=2&A=3", {{"a", "1"}}},                          // the first of equal names wins
      {"u=%e4%E4%fC", {{"u", "\xE4\xE4\xFC"}}},               // escapes in either case
      {"s=a+b%2Bc%20d", {{"s", "a b+c d"}}},                  // "+" is a blank, "%2B" a plus
      {"p=%zz%4&q=%&r=%4", {{"p", "%zz%4"}, {"q", "%"}, {"r", "%4"}}},  // malformed escapes stay
      {"=x&&y&z=", {{"y", ""}, {"z", ""}}},                   // a pair without a name is dropped
      {"k=a=b", {{"k", "ab"}}},                               // "=" is dropped inside a value
      {"n%3Dx=1&%26=2", {{"n=x", "1"}, {"&", "2"}}},          // escaped separators are characters
      {"v=%00b&n%00m=1", {{"v", "b"}, {"nm", "1"}}},           // an escaped NUL is dropped
      {"m=1&c=2&x=3", {{"m", "1"}, {"c", "2"}, {"x", "3"}}},  // pre-order of the search tree
      {"c=1&m=2&x=3", {{"c", "1"}, {"m", "2"}, {"x", "3"}}},
      {"m&x&c&a&d&y", {{"m", ""}, {"c", ""}, {"a", ""}, {"d", ""}, {"x", ""}, {"y", ""}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    Get(c.query);
    EXPECT_EQ(Params(), c.params);
  }
  Get("Kunde=M%FCller");
  EXPECT_EQ(Find("KUNDE"), "M\xFCller");  // names match without regard to case
  int32_t result = 0;
  EXPECT_EQ(Find("fehlt", &result), "");
  EXPECT_EQ(result, -1);
  char name[8] = "x";
  EXPECT_EQ(ZetCgiGetParamName(1, name, 7), 0);
  EXPECT_STREQ(name, "x");  // nothing copied past the end
  EXPECT_EQ(ZetCgiGetParamName(-1, name, 7), 0);
}

TEST_F(CgiTest, LongAndTextValuesKeepTheirWholeText) {
  const std::string long1(300, 'a'), long2(300, 'b');
  Get("lang=" + long1 + "&lang=" + long2 + "&text1=Zeile+1%0D%0AZeile+2&kurz=x&Text2=" + std::string(70000, 'c'));
  EXPECT_EQ(CGI::FindParamValue("lang").str(), long1.substr(0, 255));  // the tree holds 255
  EXPECT_EQ(Find("lang"), long1);                                       // the first one, whole
  EXPECT_EQ(Find("TEXT1"), "Zeile 1\r\nZeile 2");
  EXPECT_EQ(RamFiles::TextBufLength(), 16u);  // looking TEXT1 up made its buffer current
  EXPECT_EQ(Find("kurz"), "x");
  EXPECT_EQ(Find("text2").size(), 65534u);  // as much as the text buffer holds
  // A new request frees the buffers of the last one.
  Get("kurz=y");
  EXPECT_FALSE(RamFiles::LoadTextBufFrom("lang"));
}

TEST_F(CgiTest, BodyAndQueryAreBothDecoded) {
  g_request.env = {{"QUERY_STRING", "a=1&b=2"}, {"CONTENT_LENGTH", "11"}};
  g_request.body = "b=3&c=%C4ndyyyy";  // 11 bytes are read: "b=3&c=%C4nd"
  ASSERT_EQ(ZetCgiInitParameters(), 0);
  EXPECT_EQ(Params(), (Pairs{{"a", "1"}, {"b", "2"}, {"c", "\xC4nd"}}));
}

TEST_F(CgiTest, UntrustedLengthsAreBounded) {
  const struct {
    const char* length;
    std::string body;
    Pairs params;
    bool read;
  } cases[] = {
      {nullptr, "x=1", {{"q", "0"}}, false},               // unset
      {"abc", "x=1", {{"q", "0"}}, false},                 // not a number
      {"-5", "x=1", {{"q", "0"}}, false},
      {"8388609", "x=1", {{"q", "0"}}, false},             // above 8 MiB: not read at all
      {"99999999999999999999", "x=1", {{"q", "0"}}, false},
      {"3000", "x=1&y=2", {{"q", "0"}, {"x", "1"}, {"y", "2"}}, true},  // the body ends early
      {"0", "x=1", {{"q", "0"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length ? c.length : "unset");
    g_request = Request{};
    g_request.env["QUERY_STRING"] = "q=0";
    if (c.length) g_request.env["CONTENT_LENGTH"] = c.length;
    g_request.body = c.body;
    ASSERT_EQ(ZetCgiInitParameters(), 0);
    EXPECT_EQ(Params(), c.params);
    EXPECT_EQ(g_request.inputCalls > 0, c.read);
  }
  // A body of 8 MiB exactly is read whole, in as many pieces as the input
  // delivers.
  g_request = Request{};
  g_request.body = "big=" + std::string(8 * 1024 * 1024 - 4, 'z');
  g_request.env["CONTENT_LENGTH"] = std::to_string(g_request.body.size());
  ASSERT_EQ(ZetCgiInitParameters(), 0);
  EXPECT_EQ(Find("big").size(), 65534u);
  EXPECT_EQ(g_request.bodyRead, g_request.body.size());
}

TEST_F(CgiTest, QueryStringIsReadInFull) {
  const std::string value(5000, 'v');
  Get("erst=1&lang=" + value + "&letzt=2");
  EXPECT_EQ(Find("letzt"), "2");
  EXPECT_EQ(Find("lang"), value);
  EXPECT_EQ(g_request.envCalls, 3);  // each variable once, the query once more with room for it
}

TEST_F(CgiTest, ManySortedNamesNeitherRecurseNorWalk) {
  std::string query;
  constexpr int kCount = 50000;
  for (int i = 0; i < kCount; ++i) {
    char pair[32];
    std::snprintf(pair, sizeof pair, "n%07d=%d&", i, i);
    query += pair;
  }
  Get(query);
  ASSERT_EQ(CGI::ParamCount(), size_t(kCount));
  EXPECT_EQ(CGI::GetParamName(kCount - 1).str(), "n0049999");  // a chain to the right: insertion order
  EXPECT_EQ(Find("N0012345"), "12345");
}

TEST_F(CgiTest, OutputThroughTheHook) {
  EXPECT_EQ(CGI::Write("a"), 0);
  EXPECT_EQ(CGI::WriteLn("b"), 0);
  EXPECT_EQ(CGI::WriteHtml("<\xE4\xEB>\"&A\xA9"), 0);
  EXPECT_EQ(g_request.written, (std::vector<std::string>{"a", "b", "\r\n", "&lt;&auml;&#235;&gt;&quot;&amp;A&copy;"}));
  // The language reaches the same request and output.
  Get("kunde=Meier");
  EXPECT_EQ(SysServices::ServiceHooks().cgiParam("KUNDE").str(), "Meier");
  ShortStr value;
  EXPECT_TRUE(SysServices::ServiceHooks().getEnv("QUERY_STRING", value));
  EXPECT_EQ(value.str(), "kunde=Meier");
  EXPECT_EQ(SysServices::ServiceHooks().cgiWrite("z"), 0);
  EXPECT_EQ(g_request.written.back(), "z");
}

}  // namespace
