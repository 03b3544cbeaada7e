#include "platform/access/where_clause.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/access/access_error.h"

namespace orvex::access {

namespace {

/// Deeper nesting, or more terms, than this is refused rather than risking the stack on hostile
/// input (evaluation recurses through the tree).
constexpr int kMaxNesting = 200;
constexpr std::size_t kMaxNodes = 4096;

enum class Truth { False, True, Unknown };

Truth negate(Truth t) {
  if (t == Truth::Unknown) return t;
  return t == Truth::True ? Truth::False : Truth::True;
}

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

Op mirrored(Op op) {
  switch (op) {
    case Op::Lt:
      return Op::Gt;
    case Op::Le:
      return Op::Ge;
    case Op::Gt:
      return Op::Lt;
    case Op::Ge:
      return Op::Le;
    default:
      return op;
  }
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

/// Three-way comparison of text without regard to ASCII case; other bytes compare unsigned.
int compareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(foldAscii(a[i]));
    const auto cb = static_cast<unsigned char>(foldAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <typename T>
bool applyOp(Op op, const T& a, const T& b) {
  switch (op) {
    case Op::Eq:
      return a == b;
    case Op::Ne:
      return a != b;
    case Op::Lt:
      return a < b;
    case Op::Le:
      return a <= b;
    case Op::Gt:
      return a > b;
    case Op::Ge:
      return a >= b;
  }
  return false;
}

std::optional<double> parseNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

/// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? static_cast<unsigned>(-3) : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

/// Reads an unsigned decimal field of at most `maxDigits` digits from the front of `text`.
std::optional<unsigned> takeField(std::string_view& text, std::size_t maxDigits) {
  std::size_t n = 0;
  while (n < text.size() && n < maxDigits && text[n] >= '0' && text[n] <= '9') ++n;
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

/// Parses "yyyy-mm-dd[ hh:mm[:ss]]" or "m/d/yyyy[ hh:mm[:ss]]" into an Access date.
std::optional<AccessDate> parseDate(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  unsigned year = 0, month = 0, day = 0;
  auto first = takeField(text, 4);
  if (!first) return std::nullopt;
  if (takeChar(text, '-')) {
    auto m = takeField(text, 2);
    if (!m || !takeChar(text, '-')) return std::nullopt;
    auto d = takeField(text, 2);
    if (!d) return std::nullopt;
    year = *first, month = *m, day = *d;
  } else if (takeChar(text, '/')) {
    auto d = takeField(text, 2);
    if (!d || !takeChar(text, '/')) return std::nullopt;
    auto y = takeField(text, 4);
    if (!y) return std::nullopt;
    year = *y, month = *first, day = *d;
  } else {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  unsigned hour = 0, minute = 0, second = 0;
  if (!text.empty()) {
    if (!takeChar(text, ' ') && !takeChar(text, 'T')) return std::nullopt;
    auto h = takeField(text, 2);
    if (!h || !takeChar(text, ':')) return std::nullopt;
    auto mi = takeField(text, 2);
    if (!mi) return std::nullopt;
    hour = *h, minute = *mi;
    if (takeChar(text, ':')) {
      auto s = takeField(text, 2);
      if (!s) return std::nullopt;
      second = *s;
    }
    if (!text.empty() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  }
  const auto days = daysFromCivil(year, month, day);
  const double seconds = static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
  return AccessDate::fromUnixSeconds(seconds);
}

// ---------------------------------------------------------------------------------------------
// Tokens

enum class Tok { End, Name, Number, Text, Date, LParen, RParen, Op, Minus };

struct Token {
  Tok kind = Tok::End;
  std::string text;  ///< name, literal text, or operator spelling
  double number = 0.0;
  bool bracketed = false;  ///< a [name], never a keyword
  std::size_t pos = 0;
};

[[noreturn]] void fail(std::string_view clause, std::size_t pos, const std::string& what) {
  throw AccessError("Syntax error in where clause \"" + std::string(clause) + "\" at position " +
                        std::to_string(pos + 1) + ": " + what,
                    AccessError::Kind::BadClause);
}

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto isNameStart = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  auto isNameChar = [&](char c) { return isNameStart(c) || (c >= '0' && c <= '9'); };
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    Token t;
    t.pos = i;
    if (c == '(' || c == ')') {
      t.kind = c == '(' ? Tok::LParen : Tok::RParen;
      ++i;
    } else if (c == '-') {
      t.kind = Tok::Minus;
      ++i;
    } else if (c == '=' || c == '<' || c == '>' || c == '!') {
      t.kind = Tok::Op;
      std::size_t n = 1;
      if (i + 1 < s.size() && (s[i + 1] == '=' || (c == '<' && s[i + 1] == '>'))) n = 2;
      t.text = std::string(s.substr(i, n));
      if (t.text == "!" || t.text == "==") fail(s, i, "unknown operator '" + t.text + "'");
      i += n;
    } else if (c == '\'' || c == '"') {
      t.kind = Tok::Text;
      ++i;
      for (;;) {
        if (i >= s.size()) fail(s, t.pos, "unterminated text literal");
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            t.text += c;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.text += s[i++];
      }
    } else if (c == '#') {
      t.kind = Tok::Date;
      const auto close = s.find('#', i + 1);
      if (close == std::string_view::npos) fail(s, i, "unterminated date literal");
      t.text = std::string(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '[') {
      t.kind = Tok::Name;
      t.bracketed = true;
      const auto close = s.find(']', i + 1);
      if (close == std::string_view::npos) fail(s, i, "unterminated [column name]");
      t.text = std::string(s.substr(i + 1, close - i - 1));
      if (t.text.empty()) fail(s, i, "empty column name");
      i = close + 1;
    } else if ((c >= '0' && c <= '9') || c == '.') {
      t.kind = Tok::Number;
      std::size_t j = i;
      while (j < s.size() && ((s[j] >= '0' && s[j] <= '9') || s[j] == '.')) ++j;
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && s[k] >= '0' && s[k] <= '9') {
          j = k;
          while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        }
      }
      const auto number = parseNumber(s.substr(i, j - i));
      if (!number) fail(s, i, "malformed number '" + std::string(s.substr(i, j - i)) + "'");
      if (j < s.size() && isNameChar(s[j])) fail(s, i, "malformed number");
      t.number = *number;
      i = j;
    } else if (isNameStart(c)) {
      t.kind = Tok::Name;
      std::size_t j = i;
      while (j < s.size() && isNameChar(s[j])) ++j;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else {
      fail(s, i, std::string("unexpected character '") + c + "'");
    }
    out.push_back(std::move(t));
  }
  Token end;
  end.pos = s.size();
  out.push_back(end);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Program

enum class ValueClass { Number, Text, Date };

using Literal = std::variant<std::monostate, double, std::string>;  // NULL, number/date serial, text

struct Node {
  enum class Kind { And, Or, Not, Compare, IsNull, Constant } kind = Kind::Constant;
  int left = -1, right = -1;  ///< child nodes (Not uses left)
  int column = -1;
  ValueClass valueClass = ValueClass::Number;
  Op op = Op::Eq;
  Literal literal;
  bool negated = false;  ///< IS NOT NULL
  bool binaryText = false;
  Truth constant = Truth::True;
};

ValueClass classOf(ColumnType type) {
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      return ValueClass::Text;
    case ColumnType::DateTime:
      return ValueClass::Date;
    default:
      return ValueClass::Number;
  }
}

/// Linear day number of a date serial, so that serials before 1899-12-30 order correctly.
double linearSerial(double serial) {
  const double day = std::trunc(serial);
  return day + std::fabs(serial - day);
}

}  // namespace

struct WhereClause::Program {
  std::string text;
  std::vector<Node> nodes;
  int root = -1;

  Truth eval(int index, std::span<const AccessValue> row) const {
    const Node& n = nodes[static_cast<std::size_t>(index)];
    switch (n.kind) {
      case Node::Kind::Constant:
        return n.constant;
      case Node::Kind::Not:
        return negate(eval(n.left, row));
      case Node::Kind::And: {
        const Truth a = eval(n.left, row);
        if (a == Truth::False) return a;
        const Truth b = eval(n.right, row);
        if (b == Truth::False) return b;
        return (a == Truth::True && b == Truth::True) ? Truth::True : Truth::Unknown;
      }
      case Node::Kind::Or: {
        const Truth a = eval(n.left, row);
        if (a == Truth::True) return a;
        const Truth b = eval(n.right, row);
        if (b == Truth::True) return b;
        return (a == Truth::False && b == Truth::False) ? Truth::False : Truth::Unknown;
      }
      case Node::Kind::IsNull: {
        const bool null = static_cast<std::size_t>(n.column) >= row.size() ||
                          isNull(row[static_cast<std::size_t>(n.column)]);
        return (null != n.negated) ? Truth::True : Truth::False;
      }
      case Node::Kind::Compare:
        return compare(n, row);
    }
    return Truth::Unknown;
  }

  static Truth compare(const Node& n, std::span<const AccessValue> row) {
    if (static_cast<std::size_t>(n.column) >= row.size()) return Truth::Unknown;
    const AccessValue& cell = row[static_cast<std::size_t>(n.column)];
    if (isNull(cell) || std::holds_alternative<std::monostate>(n.literal)) return Truth::Unknown;
    if (n.valueClass == ValueClass::Text) {
      const auto* text = std::get_if<std::string>(&cell);
      if (text == nullptr) return Truth::Unknown;
      const std::string& literal = std::get<std::string>(n.literal);
      const int order = n.binaryText ? text->compare(literal) : compareText(*text, literal);
      return applyOp(n.op, order, 0) ? Truth::True : Truth::False;
    }
    const auto number = numericValue(cell);
    if (!number) return Truth::Unknown;
    double a = *number;
    double b = std::get<double>(n.literal);
    if (n.valueClass == ValueClass::Date) {
      a = linearSerial(a);
      b = linearSerial(b);
    }
    return applyOp(n.op, a, b) ? Truth::True : Truth::False;
  }
};

namespace {

class Parser {
 public:
  Parser(std::string_view text, std::span<const AccessColumn> columns, std::vector<Node>& nodes,
         bool binaryText)
      : text_(text), columns_(columns), nodes_(nodes), tokens_(tokenize(text)), binaryText_(binaryText) {}

  int parseClause() {
    if (peek().kind == Tok::End) return add(Node{});
    const int root = parseOr(0);
    if (peek().kind != Tok::End) fail(text_, peek().pos, "unexpected '" + spelling(peek()) + "'");
    return root;
  }

 private:
  const Token& peek() const { return tokens_[next_]; }
  const Token& take() { return tokens_[next_ < tokens_.size() - 1 ? next_++ : next_]; }

  bool isKeyword(const Token& t, std::string_view word) const {
    return t.kind == Tok::Name && !t.bracketed && equalsIgnoreCase(t.text, word);
  }

  static std::string spelling(const Token& t) {
    switch (t.kind) {
      case Tok::End:
        return "end of text";
      case Tok::LParen:
        return "(";
      case Tok::RParen:
        return ")";
      case Tok::Minus:
        return "-";
      case Tok::Number:
        return "number";
      case Tok::Text:
        return "'" + t.text + "'";
      case Tok::Date:
        return "#" + t.text + "#";
      default:
        return t.text;
    }
  }

  int add(Node node) {
    if (nodes_.size() >= kMaxNodes) fail(text_, peek().pos, "too many terms");
    nodes_.push_back(std::move(node));
    return static_cast<int>(nodes_.size() - 1);
  }

  int parseOr(int depth) {
    int left = parseAnd(depth);
    while (isKeyword(peek(), "OR")) {
      take();
      Node n;
      n.kind = Node::Kind::Or;
      n.left = left;
      n.right = parseAnd(depth);
      left = add(std::move(n));
    }
    return left;
  }

  int parseAnd(int depth) {
    int left = parseNot(depth);
    while (isKeyword(peek(), "AND")) {
      take();
      Node n;
      n.kind = Node::Kind::And;
      n.left = left;
      n.right = parseNot(depth);
      left = add(std::move(n));
    }
    return left;
  }

  int parseNot(int depth) {
    if (depth > kMaxNesting) fail(text_, peek().pos, "expression nested too deeply");
    if (isKeyword(peek(), "NOT")) {
      take();
      Node n;
      n.kind = Node::Kind::Not;
      n.left = parseNot(depth + 1);
      return add(std::move(n));
    }
    if (peek().kind == Tok::LParen) {
      take();
      const int inner = parseOr(depth + 1);
      if (peek().kind != Tok::RParen) fail(text_, peek().pos, "expected ')'");
      take();
      return inner;
    }
    return parseComparison();
  }

  struct Operand {
    bool isColumn = false;
    int column = -1;
    Token token;  ///< the literal (kind Number, Text, Date or Name for TRUE/FALSE/NULL)
    std::size_t pos = 0;
  };

  Operand parseOperand() {
    Operand o;
    o.pos = peek().pos;
    const Token& t = peek();
    if (t.kind == Tok::Minus) {
      take();
      if (peek().kind != Tok::Number) fail(text_, peek().pos, "expected a number after '-'");
      o.token = take();
      o.token.number = -o.token.number;
      return o;
    }
    if (t.kind == Tok::Number || t.kind == Tok::Text || t.kind == Tok::Date) {
      o.token = take();
      return o;
    }
    if (t.kind == Tok::Name) {
      if (isKeyword(t, "TRUE") || isKeyword(t, "FALSE") || isKeyword(t, "NULL")) {
        o.token = take();
        return o;
      }
      if (isKeyword(t, "AND") || isKeyword(t, "OR") || isKeyword(t, "NOT") || isKeyword(t, "IS")) {
        fail(text_, t.pos, "expected a column or a value, found '" + t.text + "'");
      }
      o.isColumn = true;
      o.column = findColumn(t);
      take();
      return o;
    }
    fail(text_, t.pos, "expected a column or a value, found '" + spelling(t) + "'");
  }

  int findColumn(const Token& t) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (equalsIgnoreCase(columns_[i].name, t.text)) return static_cast<int>(i);
    }
    throw AccessError("Unknown column \"" + t.text + "\" in where clause \"" + std::string(text_) + "\"",
                      AccessError::Kind::BadClause);
  }

  int parseComparison() {
    Operand left = parseOperand();
    if (isKeyword(peek(), "IS")) {
      if (!left.isColumn) fail(text_, peek().pos, "IS NULL needs a column on its left");
      take();
      Node n;
      n.kind = Node::Kind::IsNull;
      n.column = left.column;
      if (isKeyword(peek(), "NOT")) {
        take();
        n.negated = true;
      }
      if (!isKeyword(peek(), "NULL")) fail(text_, peek().pos, "expected NULL");
      take();
      return add(std::move(n));
    }
    if (peek().kind != Tok::Op) fail(text_, peek().pos, "expected a comparison operator");
    const Token opToken = take();
    Op op = Op::Eq;
    if (opToken.text == "=")
      op = Op::Eq;
    else if (opToken.text == "<>" || opToken.text == "!=")
      op = Op::Ne;
    else if (opToken.text == "<")
      op = Op::Lt;
    else if (opToken.text == "<=")
      op = Op::Le;
    else if (opToken.text == ">")
      op = Op::Gt;
    else
      op = Op::Ge;
    Operand right = parseOperand();
    if (left.isColumn == right.isColumn) {
      fail(text_, left.pos,
           left.isColumn ? "comparing two columns is not supported"
                         : "a comparison needs a column on one side");
    }
    if (!left.isColumn) {
      std::swap(left, right);
      op = mirrored(op);
    }
    Node n;
    n.kind = Node::Kind::Compare;
    n.column = left.column;
    n.op = op;
    n.binaryText = binaryText_;
    const AccessColumn& column = columns_[static_cast<std::size_t>(left.column)];
    if (column.type == ColumnType::Unsupported) {
      throw AccessError("Column \"" + column.name +
                            "\" has a type that cannot be compared in where clause \"" + std::string(text_) +
                            "\"",
                        AccessError::Kind::BadClause);
    }
    n.valueClass = classOf(column.type);
    n.literal = literalFor(column, right);
    return add(std::move(n));
  }

  [[noreturn]] void mismatch(const AccessColumn& column, const Operand& literal) const {
    throw AccessError("Data type mismatch in where clause \"" + std::string(text_) + "\": column \"" +
                          column.name + "\" (" + std::string(columnTypeName(column.type)) +
                          ") compared with " + spelling(literal.token),
                      AccessError::Kind::BadClause);
  }

  Literal literalFor(const AccessColumn& column, const Operand& o) const {
    const Token& t = o.token;
    if (isKeyword(t, "NULL")) return std::monostate{};
    switch (classOf(column.type)) {
      case ValueClass::Text:
        if (t.kind == Tok::Text) return t.text;
        mismatch(column, o);
      case ValueClass::Number:
        if (t.kind == Tok::Number) return t.number;
        if (isKeyword(t, "TRUE")) return -1.0;
        if (isKeyword(t, "FALSE")) return 0.0;
        if (t.kind == Tok::Text) {
          if (auto number = parseNumber(t.text)) return *number;
        }
        mismatch(column, o);
      case ValueClass::Date:
        if (t.kind == Tok::Number) return t.number;
        if (t.kind == Tok::Date || t.kind == Tok::Text) {
          if (auto date = parseDate(t.text)) return date->serial;
          if (t.kind == Tok::Date) fail(text_, o.pos, "malformed date #" + t.text + "#");
        }
        mismatch(column, o);
    }
    mismatch(column, o);
  }

  std::string_view text_;
  std::span<const AccessColumn> columns_;
  std::vector<Node>& nodes_;
  std::vector<Token> tokens_;
  bool binaryText_ = false;
  std::size_t next_ = 0;
};

}  // namespace

WhereClause::WhereClause(std::unique_ptr<Program> program) : program_(std::move(program)) {}
WhereClause::WhereClause(WhereClause&&) noexcept = default;
WhereClause& WhereClause::operator=(WhereClause&&) noexcept = default;
WhereClause::~WhereClause() = default;

WhereClause WhereClause::compile(std::string_view text, std::span<const AccessColumn> columns,
                                 TextComparison textComparison) {
  auto program = std::make_unique<Program>();
  program->text = std::string(text);
  Parser parser(program->text, columns, program->nodes, textComparison == TextComparison::Binary);
  program->root = parser.parseClause();
  return WhereClause(std::move(program));
}

bool WhereClause::matches(std::span<const AccessValue> row) const {
  return program_->eval(program_->root, row) == Truth::True;
}

bool WhereClause::keepsEveryRow() const {
  const Node& root = program_->nodes[static_cast<std::size_t>(program_->root)];
  return root.kind == Node::Kind::Constant && root.constant == Truth::True;
}

const std::string& WhereClause::text() const { return program_->text; }

}  // namespace orvex::access
