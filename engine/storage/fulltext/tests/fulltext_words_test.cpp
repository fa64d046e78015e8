#include "engine/storage/fulltext/fulltext_words.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/storage/fulltext/fulltext.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Words = std::vector<std::string>;

struct ExtractCase {
  const char* name;
  std::vector<std::string> pieces;  // fields, each one last piece
  bool html;
  std::string extra;
  Words expected;
};

Words Extract(const std::vector<std::string>& pieces, bool html, const std::string& extra,
              const FullText::TStopWords* stop = nullptr, const std::vector<bool>& last = {}) {
  Words out;
  FullText::TWordExtractor x(html, extra, stop, [&out](std::string_view w) { out.emplace_back(w); });
  for (size_t i = 0; i < pieces.size(); ++i) x.Extract(pieces[i], last.empty() || last[i]);
  return out;
}

TEST(FullTextWords, ExtractionTable) {
  const std::string longWord(300, 'x');
  const ExtractCase cases[] = {
      {"plain words", {"Haus und Garten, 3 Br\xFC" "cken"}, false, "", {"Haus", "und", "Garten", "Br\xFC" "cken"}},
      {"umlauts and sharp s", {"Gr\xF6\xDF" "e \xDC" "bermut STRA\xDF" "E"}, false, "",
       {"Gr\xF6\xDF" "e", "\xDC" "bermut", "STRA\xDF" "E"}},
      {"entity inside a word, HTML", {"M&uuml;ller"}, true, "", {"M\xFCller"}},
      {"entity inside a word, plain", {"M&uuml;ller"}, false, "", {"M", "uuml", "ller"}},
      {"numeric entity inside a word", {"M&#252;ller"}, true, "", {"M\xFCller"}},
      {"ligature entities", {"&AElig;sop &szlig;"}, true, "", {"\xC6sop", "\xDF"}},
      {"tags are skipped", {"<p class=x>fett</p>normal<br>Ende"}, true, "", {"fett", "normal", "Ende"}},
      {"tags as text without HTML", {"<b>fett</b>"}, false, "", {"b", "fett", "b"}},
      {"entity of no letter ends the word", {"Fisch&amp;Chips ab&foo;cd"}, true, "", {"Fisch", "Chips", "ab", "cd"}},
      {"nbsp separates", {"Haus&nbsp;Boot"}, true, "", {"Haus", "Boot"}},
      {"ampersand before a blank is no entity", {"M\xFCller & S\xF6hne"}, true, "", {"M\xFCller", "S\xF6hne"}},
      {"extra characters in words", {"E-Mail 100Euro"}, false, "-0123456789", {"E-Mail", "100Euro"}},
      {"extra characters not in entity names", {"x&a-uml;y"}, true, "-", {"x\xE4y"}},
      {"word capped at 255", {longWord}, false, "", {std::string(255, 'x')}},
      {"a tag runs on into the next field", {"vor <b", "x> nach"}, true, "", {"vor", "nach"}},
      {"a word ends with its field", {"Donau", "dampf"}, false, "", {"Donau", "dampf"}},
      {"a word before an open entity ends with its field", {"AT&T", "Bahn"}, true, "", {"AT", "Bahn"}},
  };
  for (const ExtractCase& c : cases) EXPECT_EQ(Extract(c.pieces, c.html, c.extra), c.expected) << c.name;
}

TEST(FullTextWords, CutLineRunsOnIntoTheNextPiece) {
  EXPECT_EQ(Extract({"Donau", "dampf schiff"}, false, "", nullptr, {false, true}), (Words{"Donaudampf", "schiff"}));
  // An entity split by the cut is still decoded.
  EXPECT_EQ(Extract({"M&uu", "ml;ller"}, true, "", nullptr, {false, true}), (Words{"M\xFCller"}));
}

TEST(FullTextWords, WordCharacters) {
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 138 || c == 140 || c == 154 ||
                        c == 156 || c == 159 || c == 181 || (c >= 192 && c <= 255 && c != 215 && c != 247);
    EXPECT_EQ(FullText::IsWordChar(char(c)), letter) << c;
  }
}

TEST(FullTextWords, EntityTable) {
  const std::pair<const char*, char> cases[] = {
      {"auml", '\xE4'},   {"Auml", '\xC4'},  {"OUML", '\xD6'},   {"uuml", '\xFC'},   {"euml", 'e'},
      {"eacute", '\xE9'}, {"Uacute", '\xDA'}, {"agrave", '\xE0'}, {"Icirc", '\xCE'},  {"yacute", 'y'},
      {"aring", '\xE5'},  {"Oslash", '\xD8'}, {"cslash", '\xA2'}, {"ntilde", '\xF1'}, {"AElig", '\xC6'},
      {"aelig", '\xE6'},  {"szlig", '\xDF'},  {"copy", '\xA9'},   {"AMP", '&'},       {"quot", '"'},
      {"lt", '<'},        {"gt", '>'},        {"reg", '\xAE'},    {"trade", '\x99'},  {"nbsp", ' '},
      {"#65", 'A'},       {"#252", '\xFC'},   {"#256", '?'},      {"#", '?'},         {"#x41", '?'},
      {"bogus", '?'},     {"", '?'},
  };
  for (const auto& [name, code] : cases) EXPECT_EQ(FullText::DecodeEntity(name), code) << name;
}

class FullTextStopWords : public zettest::EngineTest {};

TEST_F(FullTextStopWords, ListedWordsAreNeverHandedOn) {
  const std::string path = TempPath("STOP.TXT");
  {
    std::ofstream f(path, std::ios::binary);
    f << "und\r\nDER\r\n  oder  \r\n\r\nStra\xDF" "e\r\n";
  }
  FullText::TStopWords stop;
  stop.Load(path);
  EXPECT_EQ(stop.Size(), 4u);
  EXPECT_EQ(Extract({"Der Hund und die Katze oder STRASSE Stra\xDF" "e"}, false, "", &stop),
            (Words{"Hund", "die", "Katze", "STRASSE"}));

  // A file that cannot be read leaves the list empty.
  stop.Load(TempPath("FEHLT.TXT"));
  EXPECT_EQ(stop.Size(), 0u);
}

TEST_F(FullTextStopWords, AtMost1001WordsAreKept) {
  const std::string path = TempPath("VIELE.TXT");
  std::vector<std::string> words;
  for (int i = 0; i < 1002; ++i) words.push_back(std::string("w") + char('a' + i / 26 / 26 % 26) +
                                                 char('a' + i / 26 % 26) + char('a' + i % 26));
  {
    std::ofstream f(path, std::ios::binary);
    for (const std::string& w : words) f << w << "\r\n";
  }
  FullText::TStopWords stop;
  stop.Load(path);
  EXPECT_EQ(stop.Size(), FullText::kMaxStopWords);
  EXPECT_TRUE(stop.Contains(words[1000]));
  EXPECT_FALSE(stop.Contains(words[1001]));
}

TEST(FullTextHtml, HtmlToText) {
  const std::pair<const char*, const char*> cases[] = {
      {"<p>Gr&ouml;&szlig;e</p>", "Gr\xF6\xDF" "e"},
      {"x&amp;y &lt;b&gt;", "x&y <b>"},
      {"&#65;BC&nbsp;D", "ABC D"},
      {"Fish & Chips", "Fish & Chips"},
      {"&unbekannt; &#999;", "&unbekannt; &#999;"},
      {"a < b", "a < b"},
      {"AT&T", "AT&T"},
      {"<a href=\"x\">Link</a><br>", "Link"},
  };
  for (const auto& [html, text] : cases) {
    ShortStr s(html);
    FullText::HtmlToText(s);
    EXPECT_EQ(s.str(), text) << html;
  }
}

TEST(FullTextHtml, TextToHtml) {
  EXPECT_EQ(FullText::TextToHtml("Gr\xF6\xDF" "e <b>\"&\"", "").str(),
            "Gr&ouml;&szlig;e &lt;b&gt;&quot;&amp;&quot;");
  EXPECT_EQ(FullText::TextToHtml("<b>\xE4</b>", "<>/").str(), "<b>&auml;</b>");
  // Codes above 127 without a name get their number; others stay.
  EXPECT_EQ(FullText::TextToHtml("\xEB\x80\xFF" "a1", "").str(), "&#235;&#128;&#255;a1");
  // The result is a short text.
  EXPECT_EQ(FullText::TextToHtml(std::string(100, '<'), "").size(), 255u);
}

}  // namespace
