#include "engine/language/sysalgo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/storage/zet00_keys.h"

namespace SysAlgo {
namespace {

// The greedy walk of the similarity measure over two texts, positions
// counted from 1. next_[p][c] is the first position at or after p that holds
// character c, 0 when there is none.
class MatchWalk {
 public:
  MatchWalk(std::string_view a, std::string_view b)
      : a_(a), b_(b), la_(int(a.size())), lb_(int(b.size())),
        nextA_(Next(a)), nextB_(Next(b)), memo_(size_t(la_ + 1) * size_t(lb_ + 1), -1) {}

  int Match(int i, int j) {
    if (i > la_ || j > lb_) return 0;
    int& memo = memo_[size_t(i) * size_t(lb_ + 1) + size_t(j)];
    if (memo >= 0) return memo;
    int r = 0;
    int si = i;
    int sj = j;
    while (si <= la_ && sj <= lb_ && At(a_, si) == At(b_, sj)) {
      ++si;
      ++sj;
      ++r;
    }
    // First branch: i outer, j inner from sj; the first pair found.
    int r1 = 0;
    if (sj <= lb_) {
      for (int ii = si; ii <= la_; ++ii) {
        const int jj = nextB_[size_t(sj)][At(a_, ii)];
        if (jj != 0) {
          r1 = Match(ii, jj);
          break;
        }
      }
    }
    // Second branch: j outer, i inner from si.
    int r2 = 0;
    if (si <= la_) {
      for (int jj = sj; jj <= lb_; ++jj) {
        const int ii = nextA_[size_t(si)][At(b_, jj)];
        if (ii != 0) {
          r2 = Match(ii, jj);
          break;
        }
      }
    }
    memo = r + std::max(r1, r2);
    return memo;
  }

 private:
  using Row = std::array<uint16_t, 256>;
  static uint8_t At(std::string_view s, int p) { return uint8_t(s[size_t(p - 1)]); }
  static std::vector<Row> Next(std::string_view s) {
    std::vector<Row> next(s.size() + 2, Row{});
    for (size_t p = s.size(); p >= 1; --p) {
      next[p] = next[p + 1];
      next[p][uint8_t(s[p - 1])] = uint16_t(p);
    }
    return next;
  }

  std::string_view a_;
  std::string_view b_;
  int la_;
  int lb_;
  std::vector<Row> nextA_;
  std::vector<Row> nextB_;
  std::vector<int> memo_;
};

constexpr size_t kAddColumns = 40;

// The text in exactly 40 columns: cut behind column 40, then "0" on the left.
std::string Columns(std::string_view text) {
  text = text.substr(0, kAddColumns);
  return std::string(kAddColumns - text.size(), '0') + std::string(text);
}

ShortStr Formatted(double x, int decimals) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
  return ShortStr(buffer);
}

}  // namespace

int StrCompMatches(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return 0;
  a = a.substr(0, 255);
  b = b.substr(0, 255);
  MatchWalk walk(a, b);
  return walk.Match(1, 1);
}

double StrComp(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return 1.0;
  a = a.substr(0, 255);
  b = b.substr(0, 255);
  return 2.0 * StrCompMatches(a, b) / double(a.size() + b.size());
}

ShortStr StrAdd(std::string_view a, std::string_view b) {
  std::string sum = Columns(a);
  const std::string addend = Columns(b);
  int carry = 0;
  for (size_t p = kAddColumns; p-- > 0;) {
    if (sum[p] == '.') continue;
    const int digit = (uint8_t(sum[p]) & 15) + carry + (uint8_t(addend[p]) & 15);
    sum[p] = char('0' + digit % 10);
    carry = digit / 10;
  }
  size_t start = 0;
  while (sum.size() - start > 1 && sum[start] == '0') ++start;
  return ShortStr(std::string_view(sum).substr(start));
}

ShortStr NumberText(double x) {
  if (!std::isfinite(x)) return ShortStr(std::isnan(x) ? "nan" : x > 0 ? "inf" : "-inf");
  if (x == std::trunc(x)) return Formatted(x, 0);
  ShortStr text = Formatted(x, 11);
  const size_t point = text.view().find('.');
  size_t digits = point == std::string_view::npos ? text.size() : point;
  if (x < 0) --digits;
  text = Formatted(x, 10 - int(std::min<size_t>(digits, 10)));
  if (text.view().find('.') != std::string_view::npos) {
    size_t n = text.size();
    while (n > 0 && text[n - 1] == '0') --n;
    if (n > 0 && text[n - 1] == '.') --n;
    text.truncate(n);
  }
  if (text.view() == "-0") text = "0";
  return text;
}

double RoundNumber(double x, int32_t n) {
  if (!std::isfinite(x)) return x;
  const size_t decimals = uint16_t(n);
  ShortStr text = NumberText(x);
  const size_t point = text.view().find('.');
  if (point == std::string_view::npos) return x;
  if (text.size() - point - 1 <= decimals) return x;
  const size_t first = point + decimals + 1;
  if (uint8_t(text[first]) >= '5') text.data()[first] = '6';
  text.truncate(first + 1);
  const double cut = std::strtod(text.str().c_str(), nullptr);
  return std::strtod(Formatted(cut, int(decimals)).str().c_str(), nullptr);
}

int PosOf(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  const size_t p = text.find(sub);
  return p == std::string_view::npos ? 0 : int(p + 1);
}

int ScanCount(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  uint8_t count = 0;
  for (size_t p = text.find(sub); p != std::string_view::npos; p = text.find(sub, p + 1)) ++count;
  return count;
}

ShortStr SubPath(std::string_view text, std::string_view prefix) {
  if (PosOf(prefix, text) != 1) return ShortStr(text);
  return ShortStr(text.substr(prefix.size(), 127));
}

ShortStr Swap(std::string_view text) { return Zet00::RotateAtCaret(text); }

ShortStr TestLn(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  ShortStr result(text);
  if (!result.empty()) result.append("\r\n");
  return result;
}

ShortStr NTimes(std::string_view text, int32_t n) {
  ShortStr result;
  if (text.empty()) return result;
  for (uint32_t k = uint16_t(n); k > 0 && result.size() < ShortStr::kMax; --k) result.append(text);
  return result;
}

}  // namespace SysAlgo
