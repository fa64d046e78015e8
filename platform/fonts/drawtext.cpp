// DrawText layout (rules in drawtext.h).
#include "platform/fonts/drawtext.h"

#include <algorithm>
#include <span>

namespace platform::fonts {

namespace {

constexpr std::string_view kEllipsis = "...";

// Measures along one line, with tabs expanded when asked: to the next of the
// listed stops, beyond them (or without them) to the next multiple of the tab
// width.
struct LineMeasure {
  const TextMeasurer& measurer;
  bool expandTabs;
  int tabWidth;
  std::span<const int> stops = {};

  int Step(int x, char c) const {
    if (c != '\t' || !expandTabs) return x + measurer.CharWidth(static_cast<uint8_t>(c));
    for (int stop : stops)
      if (stop > x) return stop;
    return tabWidth > 0 ? (x / tabWidth + 1) * tabWidth : x;
  }
  int Width(std::string_view text) const {
    int x = 0;
    for (char c : text) x = Step(x, c);
    return x;
  }
};

// A paragraph's shown characters and the positions of "&"-marked ones.
struct Shown {
  std::string text;
  std::vector<size_t> marks;
};

Shown StripPrefixes(std::string_view raw, bool noPrefix) {
  Shown shown;
  shown.text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (!noPrefix && raw[i] == '&' && i + 1 < raw.size()) {
      ++i;
      if (raw[i] != '&') shown.marks.push_back(shown.text.size());
    }
    shown.text += raw[i];
  }
  return shown;
}

struct Span {
  size_t from, to;
};

// Greedy word breaking of one paragraph into lines no wider than width where
// a blank allows it.
std::vector<Span> BreakWords(const LineMeasure& measure, const std::string& text, int width) {
  std::vector<Span> lines;
  const size_t n = text.size();
  size_t pos = 0;
  while (pos < n) {
    int x = 0;
    size_t overflow = pos;
    while (overflow < n) {
      x = measure.Step(x, text[overflow]);
      if (x > width) break;
      ++overflow;
    }
    if (overflow == n) {
      lines.push_back({pos, n});
      break;
    }
    size_t end = pos;
    for (size_t b = overflow + 1; b-- > pos + 1;) {
      if (text[b] == ' ') {
        end = b;
        break;
      }
    }
    while (end > pos && text[end - 1] == ' ') --end;
    if (end == pos) {  // no blank to break at: the word stays whole
      end = text.find(' ', overflow);
      if (end == std::string::npos) end = n;
    }
    lines.push_back({pos, end});
    pos = end;
    while (pos < n && text[pos] == ' ') ++pos;
  }
  return lines;
}

// The paragraphs of a text: split at CR LF, CR or LF; none after a final break.
std::vector<std::string_view> Paragraphs(std::string_view text, bool singleLine) {
  std::vector<std::string_view> result;
  if (singleLine) {
    if (!text.empty()) result.push_back(text);
    return result;
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      result.push_back(text.substr(start));
      break;
    }
    result.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return result;
}

}  // namespace

DrawTextLayout LayoutDrawText(const TextMeasurer& measurer, std::string_view text, const Rect& rect,
                              uint32_t format) {
  int tabChars = 8;
  if (format & win::DT_TABSTOP) {
    tabChars = static_cast<int>((format >> 8) & 0xFF);
    if (tabChars == 0) tabChars = 8;
    format &= ~uint32_t{0xFF00};
  }
  const win::TEXTMETRIC& tm = measurer.Metrics();
  const LineMeasure measure{measurer, (format & win::DT_EXPANDTABS) != 0, tabChars * tm.tmAveCharWidth};
  const bool singleLine = (format & win::DT_SINGLELINE) != 0;
  const bool calcRect = (format & win::DT_CALCRECT) != 0;
  const int lineHeight = tm.tmHeight + ((format & win::DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
  const int width = rect.right - rect.left;
  const int ellipsisWidth = measure.Width(kEllipsis);

  DrawTextLayout layout;
  layout.rect = rect;
  layout.clip = !(format & (win::DT_NOCLIP | win::DT_CALCRECT));
  int y = rect.top;
  if (singleLine && !calcRect) {
    if (format & win::DT_VCENTER) y = rect.top + (rect.bottom - rect.top - lineHeight) / 2;
    else if (format & win::DT_BOTTOM) y = rect.bottom - lineHeight;
  }
  const int top = y;
  int widest = 0;

  for (std::string_view raw : Paragraphs(text, singleLine)) {
    const Shown shown = StripPrefixes(raw, (format & win::DT_NOPREFIX) != 0);
    std::vector<Span> spans;
    if ((format & win::DT_WORDBREAK) && !singleLine) spans = BreakWords(measure, shown.text, width);
    if (spans.empty()) spans.push_back({0, shown.text.size()});

    for (const Span& span : spans) {
      std::string line = shown.text.substr(span.from, span.to - span.from);
      size_t kept = line.size();  // characters of the paragraph that stay shown
      int lineWidth = measure.Width(line);
      if ((format & win::DT_END_ELLIPSIS) && lineWidth > width) {
        kept = 0;
        for (int x = 0; kept < line.size(); ++kept) {
          x = measure.Step(x, line[kept]);
          if (x + ellipsisWidth > width) break;
        }
        line.resize(kept);
        line += kEllipsis;
        lineWidth = measure.Width(line);
      }
      int x = rect.left;
      if (format & win::DT_RIGHT) x = rect.right - lineWidth;
      else if (format & win::DT_CENTER) x = (rect.left + rect.right - lineWidth) / 2;

      // Runs: the whole line, or the pieces between expanded tabs.
      int runX = 0, pen = 0;
      size_t runStart = 0;
      for (size_t i = 0; i <= line.size(); ++i) {
        const bool tab = i < line.size() && line[i] == '\t' && measure.expandTabs;
        if (i == line.size() || tab) {
          if (i > runStart) layout.runs.push_back({{x + runX, y}, line.substr(runStart, i - runStart)});
          if (tab) {
            pen = measure.Step(pen, '\t');
            runX = pen;
            runStart = i + 1;
          }
          continue;
        }
        pen = measure.Step(pen, line[i]);
      }

      // The last marked character that lies on this line and is still shown.
      for (auto mark = shown.marks.rbegin(); mark != shown.marks.rend(); ++mark) {
        if (*mark < span.from || *mark >= span.to) continue;
        const size_t at = *mark - span.from;
        if (at < kept) {
          const int ux = x + measure.Width(std::string_view(line).substr(0, at));
          const int uy = y + tm.tmAscent + 1;
          layout.underlines.push_back({ux, uy, ux + measurer.CharWidth(static_cast<uint8_t>(line[at])), uy + 1});
        }
        break;
      }
      layout.lines.push_back({x, y, x + lineWidth, y + tm.tmHeight});
      widest = std::max(widest, lineWidth);
      y += lineHeight;
    }
  }

  layout.height = layout.lines.empty() ? 0 : y - rect.top;
  if (calcRect) {
    layout.rect.right = rect.left + widest;
    layout.rect.bottom = rect.top + (y - top);
  }
  return layout;
}

Point TabbedTextExtent(const TextMeasurer& measurer, std::string_view text, std::span<const int> tabStops) {
  if (text.empty()) return {0, 0};
  const int defaultWidth = 8 * measurer.Metrics().tmAveCharWidth;
  LineMeasure measure{measurer, true, defaultWidth};
  if (tabStops.size() == 1) measure.tabWidth = tabStops[0] > 0 ? tabStops[0] : defaultWidth;
  else measure.stops = tabStops;
  return {measure.Width(text), measurer.Metrics().tmHeight};
}

}  // namespace platform::fonts
