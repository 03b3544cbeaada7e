#include "platform/common/where_tokens.h"

#include <charconv>
#include <cmath>

#include "host/error.h"
#include "host/text.h"
#include "host/value.h"

namespace orvex::platform::where {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
/// Bytes of UTF-8 sequences are name characters, so names in any script need no quoting.
bool isNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }

/// Reads the clause from left to right; each `lex...` step starts at `at_` on the first
/// character of its token and leaves `at_` after it.
class Lexer {
 public:
  Lexer(std::string_view clause, const Dialect& dialect) : s_(clause), dialect_(dialect) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      while (at_ < s_.size() && isBlank(s_[at_])) ++at_;
      Token t;
      t.pos = at_;
      if (at_ >= s_.size()) {
        out.push_back(std::move(t));
        return out;
      }
      lexOne(t);
      out.push_back(std::move(t));
    }
  }

 private:
  void lexOne(Token& t) {
    const char c = s_[at_];
    if (c == '(' || c == ')') {
      t.kind = c == '(' ? Tok::LParen : Tok::RParen;
      ++at_;
    } else if (c == '-' || c == '+') {
      t.kind = Tok::Sign;
      t.text = std::string(1, c);
      ++at_;
    } else if (c == '=' || c == '<' || c == '>' || c == '!') {
      lexOperator(t);
    } else if (c == '\'') {
      lexQuoted(t, Tok::Text);
    } else if (c == '"') {
      lexQuoted(t, dialect_.doubleQuotes == Dialect::DoubleQuotes::Text ? Tok::Text : Tok::QuotedName);
    } else if (c == '#' && dialect_.hashDates) {
      lexEnclosed(t, Tok::Date, '#', "unterminated date literal");
    } else if (c == '[' && dialect_.bracketedNames) {
      lexEnclosed(t, Tok::QuotedName, ']', "unterminated [column name]");
      if (t.text.empty()) syntaxError(s_, t.pos, "empty column name");
    } else if (isDigit(c) || c == '.') {
      lexNumber(t);
    } else if (isNameStart(c)) {
      t.kind = Tok::Name;
      const std::size_t start = at_;
      while (at_ < s_.size() && isNameChar(s_[at_])) ++at_;
      t.text = std::string(s_.substr(start, at_ - start));
    } else {
      syntaxError(s_, at_, std::string("unexpected character '") + c + "'");
    }
  }

  void lexOperator(Token& t) {
    const char c = s_[at_];
    std::size_t n = 1;
    if (at_ + 1 < s_.size() && (s_[at_ + 1] == '=' || (c == '<' && s_[at_ + 1] == '>'))) n = 2;
    t.kind = Tok::Op;
    t.text = std::string(s_.substr(at_, n));
    if (t.text == "!" || t.text == "==") syntaxError(s_, at_, "unknown operator '" + t.text + "'");
    at_ += n;
  }

  void lexQuoted(Token& t, Tok kind) {
    const char quote = s_[at_++];
    t.kind = kind;
    for (;;) {
      if (at_ >= s_.size()) syntaxError(s_, t.pos, "unterminated text literal");
      if (s_[at_] == quote) {
        if (at_ + 1 < s_.size() && s_[at_ + 1] == quote) {
          t.text += quote;
          at_ += 2;
          continue;
        }
        ++at_;
        return;
      }
      t.text += s_[at_++];
    }
  }

  void lexEnclosed(Token& t, Tok kind, char close, const char* unterminated) {
    const auto end = s_.find(close, at_ + 1);
    if (end == std::string_view::npos) syntaxError(s_, at_, unterminated);
    t.kind = kind;
    t.text = std::string(s_.substr(at_ + 1, end - at_ - 1));
    at_ = end + 1;
  }

  void lexNumber(Token& t) {
    std::size_t j = at_;
    while (j < s_.size() && (isDigit(s_[j]) || s_[j] == '.')) ++j;
    if (j < s_.size() && (s_[j] == 'e' || s_[j] == 'E')) {
      std::size_t k = j + 1;
      if (k < s_.size() && (s_[k] == '+' || s_[k] == '-')) ++k;
      if (k < s_.size() && isDigit(s_[k])) {
        j = k;
        while (j < s_.size() && isDigit(s_[j])) ++j;
      }
    }
    const std::string_view spelling = s_.substr(at_, j - at_);
    const auto number = readNumber(spelling);
    if (!number) syntaxError(s_, at_, "malformed number '" + std::string(spelling) + "'");
    if (j < s_.size() && isNameChar(s_[j])) syntaxError(s_, at_, "malformed number");
    t.kind = Tok::Number;
    t.text = std::string(spelling);
    t.number = *number;
    at_ = j;
  }

  std::string_view s_;
  const Dialect& dialect_;
  std::size_t at_ = 0;
};

/// Reads an unsigned decimal field of at most `maxDigits` digits from the front of `text`.
std::optional<unsigned> takeField(std::string_view& text, std::size_t maxDigits) {
  std::size_t n = 0;
  while (n < text.size() && n < maxDigits && isDigit(text[n])) ++n;
  if (n == 0) return std::nullopt;
  unsigned value = 0;
  std::from_chars(text.data(), text.data() + n, value);
  text.remove_prefix(n);
  return value;
}

bool takeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

/// "y-m-d" (year first) or "m/d/yyyy" (month first), the fields as short as one digit.
bool readDayPart(std::string_view& text, host::CivilTime& c) {
  auto first = takeField(text, 4);
  if (!first) return false;
  const bool yearFirst = takeChar(text, '-');
  if (!yearFirst && !takeChar(text, '/')) return false;
  auto second = takeField(text, 2);
  if (!second || !takeChar(text, yearFirst ? '-' : '/')) return false;
  auto third = takeField(text, yearFirst ? 2 : 4);
  if (!third) return false;
  c.year = static_cast<int>(yearFirst ? *first : *third);
  c.month = static_cast<int>(yearFirst ? *second : *first);
  c.day = static_cast<int>(yearFirst ? *third : *second);
  return c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31;
}

/// "[ hh:mm[:ss]]" (or a T for the blank), to the end of the text.
bool readTimePart(std::string_view text, host::CivilTime& c) {
  if (text.empty()) return true;
  if (!takeChar(text, ' ') && !takeChar(text, 'T')) return false;
  auto h = takeField(text, 2);
  if (!h || !takeChar(text, ':')) return false;
  auto mi = takeField(text, 2);
  if (!mi) return false;
  unsigned second = 0;
  if (takeChar(text, ':')) {
    auto s = takeField(text, 2);
    if (!s) return false;
    second = *s;
  }
  if (!text.empty() || *h > 23 || *mi > 59 || second > 59) return false;
  c.hour = static_cast<int>(*h);
  c.minute = static_cast<int>(*mi);
  c.second = second;
  return true;
}

std::optional<double> readLooseDate(std::string_view text) {
  text = host::trim(text);
  host::CivilTime c;
  if (!readDayPart(text, c) || !readTimePart(text, c)) return std::nullopt;
  try {
    return host::Date::fromCivil(c).unixSeconds();
  } catch (const host::Error&) {  // a day past the end of its month
    return std::nullopt;
  }
}

}  // namespace

void syntaxError(std::string_view clause, std::size_t pos, const std::string& what) {
  throw ClauseError("Syntax error in where clause \"" + std::string(clause) + "\" at position " +
                    std::to_string(pos + 1) + ": " + what);
}

std::vector<Token> tokenize(std::string_view clause, const Dialect& dialect) {
  return Lexer(clause, dialect).run();
}

std::optional<double> readNumber(std::string_view text) {
  const auto number = host::parseNumber(text);
  if (!number || !std::isfinite(*number)) return std::nullopt;
  return number;
}

std::optional<double> readDate(std::string_view text, Dialect::DateForms forms) {
  if (forms == Dialect::DateForms::IsoOrMonthDayYear) return readLooseDate(text);
  const auto date = host::Date::parseIso8601(text);
  if (!date) return std::nullopt;
  return date->unixSeconds();
}

}  // namespace orvex::platform::where
