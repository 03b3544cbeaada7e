#include "platform/common/where_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>
#include <vector>

#include "host/text.h"
#include "host/value.h"
#include "platform/common/where_tokens.h"

namespace orvex::platform::where {

Dialect Dialect::access() {
  Dialect d;
  d.literalOnEitherSide = true;
  d.bracketedNames = true;
  d.hashDates = true;
  d.keywordLiterals = true;
  d.numbersAreOleDates = true;
  d.doubleQuotes = DoubleQuotes::Text;
  d.dateForms = DateForms::IsoOrMonthDayYear;
  d.textComparison = TextComparison::IgnoreAsciiCase;
  return d;
}

Dialect Dialect::ogr() {
  Dialect d;
  d.objectIdName = "FID";
  return d;
}

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

Truth truthOf(bool b) { return b ? Truth::True : Truth::False; }

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

Op opFromSpelling(const std::string& s) {
  if (s == "=") return Op::Eq;
  if (s == "<>" || s == "!=") return Op::Ne;
  if (s == "<") return Op::Lt;
  if (s == "<=") return Op::Le;
  if (s == ">") return Op::Gt;
  return Op::Ge;
}

/// The comparison applied to two numbers, or to a three-way order and 0.
bool holds(Op op, double a, double b) {
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

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

/// Three-way comparison of bytes (unsigned), optionally folding ASCII letters first.
int compareText(std::string_view a, std::string_view b, bool ignoreCase) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(ignoreCase ? foldAscii(a[i]) : a[i]);
    const auto cb = static_cast<unsigned char>(ignoreCase ? foldAscii(b[i]) : b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

using Literal = std::variant<std::monostate, double, std::string>;  // NULL, number or date, text

struct Node {
  enum class Kind { And, Or, Not, Compare, IsNull, Everything } kind = Kind::Everything;
  int left = -1, right = -1;  ///< child nodes (Not uses left)
  int column = -1;
  ValueKind valueKind = ValueKind::Number;
  Op op = Op::Eq;
  Literal literal;
  bool negated = false;  ///< IS NOT NULL
};

}  // namespace

struct Clause::Program {
  std::string text;
  std::vector<Node> nodes;
  int root = -1;
  bool ignoreCase = false;

  Truth eval(int index, const RowCells& row) const {
    const Node& n = nodes[static_cast<std::size_t>(index)];
    switch (n.kind) {
      case Node::Kind::Everything:
        return Truth::True;
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
      case Node::Kind::IsNull:
        return truthOf(row.isNull(n.column) != n.negated);
      case Node::Kind::Compare:
        return compare(n, row);
    }
    return Truth::Unknown;
  }

  Truth compare(const Node& n, const RowCells& row) const {
    if (std::holds_alternative<std::monostate>(n.literal) || row.isNull(n.column)) return Truth::Unknown;
    if (n.valueKind == ValueKind::Text) {
      const auto cell = row.text(n.column);
      if (!cell) return Truth::Unknown;
      const int order = compareText(*cell, std::get<std::string>(n.literal), ignoreCase);
      return truthOf(holds(n.op, order, 0));
    }
    const auto number = row.number(n.column);
    if (!number) return Truth::Unknown;
    return truthOf(holds(n.op, *number, std::get<double>(n.literal)));
  }
};

namespace {

class Parser {
 public:
  Parser(std::string_view text, std::span<const Column> columns, const Dialect& dialect,
         std::vector<Node>& nodes)
      : text_(text), columns_(columns), dialect_(dialect), nodes_(nodes), tokens_(tokenize(text, dialect)) {}

  int parseClause() {
    if (peek().kind == Tok::End) return add(Node{});
    const int root = parseOr(0);
    if (peek().kind != Tok::End) syntaxError(text_, peek().pos, "unexpected '" + spelling(peek()) + "'");
    return root;
  }

 private:
  /// One side of a comparison: a column, or a literal token.
  struct Operand {
    bool isColumn = false;
    int column = -1;
    Token token;
    std::size_t pos = 0;
  };

  const Token& peek() const { return tokens_[next_]; }
  const Token& take() { return tokens_[next_ < tokens_.size() - 1 ? next_++ : next_]; }

  static bool isKeyword(const Token& t, std::string_view word) {
    return t.kind == Tok::Name && host::iequals(t.text, word);
  }
  bool isKeywordLiteral(const Token& t) const {
    return dialect_.keywordLiterals &&
           (isKeyword(t, "TRUE") || isKeyword(t, "FALSE") || isKeyword(t, "NULL"));
  }

  static std::string spelling(const Token& t) {
    switch (t.kind) {
      case Tok::End:
        return "end of text";
      case Tok::LParen:
        return "(";
      case Tok::RParen:
        return ")";
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
    if (nodes_.size() >= kMaxNodes) syntaxError(text_, peek().pos, "too many terms");
    nodes_.push_back(std::move(node));
    return static_cast<int>(nodes_.size() - 1);
  }

  int addBinary(Node::Kind kind, int left, int right) {
    Node n;
    n.kind = kind;
    n.left = left;
    n.right = right;
    return add(std::move(n));
  }

  // A chain of operands joined by one keyword, left-associative.
  int parseChain(Node::Kind kind, std::string_view keyword, int depth, int (Parser::*operand)(int)) {
    int left = (this->*operand)(depth);
    while (isKeyword(peek(), keyword)) {
      take();
      left = addBinary(kind, left, (this->*operand)(depth));
    }
    return left;
  }
  int parseOr(int depth) { return parseChain(Node::Kind::Or, "OR", depth, &Parser::parseAnd); }
  int parseAnd(int depth) { return parseChain(Node::Kind::And, "AND", depth, &Parser::parseNot); }

  int parseNot(int depth) {
    if (depth > kMaxNesting) syntaxError(text_, peek().pos, "expression nested too deeply");
    if (isKeyword(peek(), "NOT")) {
      take();
      return addBinary(Node::Kind::Not, parseNot(depth + 1), -1);
    }
    if (peek().kind == Tok::LParen) {
      take();
      const int inner = parseOr(depth + 1);
      if (peek().kind != Tok::RParen) syntaxError(text_, peek().pos, "expected ')'");
      take();
      return inner;
    }
    return parseComparison();
  }

  Operand parseOperand() {
    Operand o;
    o.pos = peek().pos;
    const Token& t = peek();
    if (t.kind == Tok::Sign) {
      const bool minus = take().text == "-";
      if (peek().kind != Tok::Number)
        syntaxError(text_, peek().pos, "expected a number after '" + t.text + "'");
      o.token = take();
      if (minus) o.token.number = -o.token.number;
      return o;
    }
    if (t.kind == Tok::Number || t.kind == Tok::Text || t.kind == Tok::Date || isKeywordLiteral(t)) {
      o.token = take();
      return o;
    }
    if (t.kind == Tok::QuotedName || (t.kind == Tok::Name && !isKeyword(t, "AND") && !isKeyword(t, "OR") &&
                                      !isKeyword(t, "NOT") && !isKeyword(t, "IS"))) {
      o.isColumn = true;
      o.column = findColumn(t.text);
      take();
      return o;
    }
    syntaxError(text_, t.pos, "expected a column or a value, found '" + spelling(t) + "'");
  }

  int findColumn(const std::string& name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (host::iequals(columns_[i].name, name)) return static_cast<int>(i);
    }
    if (!dialect_.objectIdName.empty() && host::iequals(name, dialect_.objectIdName)) return kObjectIdColumn;
    throw ClauseError("Unknown column \"" + name + "\" in where clause \"" + std::string(text_) + "\"");
  }

  Column columnAt(int index) const {
    if (index == kObjectIdColumn) return Column{dialect_.objectIdName, ValueKind::Number, "object id"};
    return columns_[static_cast<std::size_t>(index)];
  }

  int parseIsNull(const Operand& left) {
    if (!left.isColumn) syntaxError(text_, peek().pos, "IS NULL needs a column on its left");
    take();
    Node n;
    n.kind = Node::Kind::IsNull;
    n.column = left.column;
    if (isKeyword(peek(), "NOT")) {
      take();
      n.negated = true;
    }
    if (!isKeyword(peek(), "NULL")) syntaxError(text_, peek().pos, "expected NULL");
    take();
    return add(std::move(n));
  }

  int parseComparison() {
    Operand left = parseOperand();
    if (!left.isColumn && !dialect_.literalOnEitherSide)
      syntaxError(text_, left.pos, "expected a column, found '" + spelling(left.token) + "'");
    if (isKeyword(peek(), "IS")) return parseIsNull(left);
    if (peek().kind != Tok::Op) syntaxError(text_, peek().pos, "expected a comparison operator");
    Op op = opFromSpelling(take().text);
    Operand right = parseOperand();
    if (left.isColumn == right.isColumn) {
      syntaxError(text_, left.pos,
                  left.isColumn ? "comparing two columns is not supported"
                                : "a comparison needs a column on one side");
    }
    if (!left.isColumn) {
      std::swap(left, right);
      op = mirrored(op);
    }
    const Column column = columnAt(left.column);
    if (column.kind == ValueKind::Unsupported) {
      throw ClauseError("Column \"" + column.name +
                        "\" has a type that cannot be compared in where clause \"" + std::string(text_) +
                        "\"");
    }
    Node n;
    n.kind = Node::Kind::Compare;
    n.column = left.column;
    n.op = op;
    n.valueKind = column.kind;
    n.literal = literalFor(column, right);
    return add(std::move(n));
  }

  [[noreturn]] void mismatch(const Column& column, const Operand& literal) const {
    throw ClauseError("Data type mismatch in where clause \"" + std::string(text_) + "\": column \"" +
                      column.name + "\" (" + column.typeName + ") compared with " + spelling(literal.token));
  }

  /// The literal in the column's terms: text for text, a number for numbers, Unix seconds
  /// for dates; NULL stays NULL.
  Literal literalFor(const Column& column, const Operand& o) const {
    const Token& t = o.token;
    if (isKeyword(t, "NULL")) return std::monostate{};
    switch (column.kind) {
      case ValueKind::Text:
        if (t.kind == Tok::Text) return t.text;
        break;
      case ValueKind::Number:
        if (t.kind == Tok::Number) return t.number;
        if (isKeyword(t, "TRUE")) return -1.0;
        if (isKeyword(t, "FALSE")) return 0.0;
        if (t.kind == Tok::Text) {
          if (auto number = readNumber(t.text)) return *number;
        }
        break;
      case ValueKind::Date:
        // A number is a stored date serial, read as an Access date is (to the millisecond).
        if (t.kind == Tok::Number && dialect_.numbersAreOleDates)
          return std::round(host::Date::fromOleSerial(t.number).unixSeconds() * 1000.0) / 1000.0;
        if (t.kind == Tok::Date || t.kind == Tok::Text) {
          if (auto date = readDate(t.text, dialect_.dateForms)) return *date;
          if (t.kind == Tok::Date) syntaxError(text_, o.pos, "malformed date #" + t.text + "#");
        }
        break;
      case ValueKind::Unsupported:
        break;
    }
    mismatch(column, o);
  }

  std::string_view text_;
  std::span<const Column> columns_;
  const Dialect& dialect_;
  std::vector<Node>& nodes_;
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

}  // namespace

Clause::Clause(std::unique_ptr<Program> program) : program_(std::move(program)) {}
Clause::Clause(Clause&&) noexcept = default;
Clause& Clause::operator=(Clause&&) noexcept = default;
Clause::~Clause() = default;

Clause Clause::compile(std::string_view text, std::span<const Column> columns, const Dialect& dialect) {
  auto program = std::make_unique<Program>();
  program->text = std::string(text);
  program->ignoreCase = dialect.textComparison == Dialect::TextComparison::IgnoreAsciiCase;
  Parser parser(program->text, columns, dialect, program->nodes);
  program->root = parser.parseClause();
  return Clause(std::move(program));
}

bool Clause::matches(const RowCells& row) const { return program_->eval(program_->root, row) == Truth::True; }

bool Clause::keepsEveryRow() const {
  return program_->nodes[static_cast<std::size_t>(program_->root)].kind == Node::Kind::Everything;
}

const std::string& Clause::text() const { return program_->text; }

}  // namespace orvex::platform::where
