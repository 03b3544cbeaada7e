#include "platform/gdal/where_filter.h"

#include <ogr_feature.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "host/error.h"
#include "host/text.h"
#include "host/value.h"

namespace orvex::platform::gdal {
namespace {

/// Deepest nesting of NOT and parentheses accepted, so that a hostile clause cannot exhaust the
/// stack of the recursive parser.
constexpr int kMaxDepth = 200;
/// Field index standing for the object id.
constexpr int kObjectIdField = -2;

enum class Truth { False, True, Unknown };

Truth negate(Truth t) {
  if (t == Truth::Unknown) return t;
  return t == Truth::True ? Truth::False : Truth::True;
}

enum class TokenKind { Name, QuotedName, Number, Text, Operator, Open, Close, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;
  std::size_t position = 0;
};

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

struct WhereFilter::Node {
  enum class Kind { Or, And, Not, Compare, IsNull, Everything } kind = Kind::Everything;
  enum class Op { Eq, Ne, Lt, Le, Gt, Ge } op = Op::Eq;
  enum class Operand { Number, Text, Date } operand = Operand::Number;
  std::vector<std::unique_ptr<Node>> children;
  int field = -1;
  double number = 0.0;
  std::string text;
  bool negated = false;

  Truth evaluate(const OGRFeature& f) const;
};

namespace {

class Parser {
 public:
  Parser(std::string_view clause, const OGRFeatureDefn& fields) : clause_(clause), fields_(fields) {
    advance();
  }

  std::unique_ptr<WhereFilter::Node> parseAll() {
    auto root = condition(0);
    if (token_.kind != TokenKind::End) error("unexpected \"" + token_.text + "\"");
    return root;
  }

 private:
  using N = WhereFilter::Node;

  [[noreturn]] void error(const std::string& what) const {
    throw host::Error(host::kInvalidArgument, "invalid where clause \"" + std::string(clause_) +
                                                  "\": " + what + " at character " +
                                                  std::to_string(token_.position + 1));
  }

  bool keyword(const char* word) const {
    return token_.kind == TokenKind::Name && host::iequals(token_.text, word);
  }

  void advance() {
    while (at_ < clause_.size() && std::isspace(static_cast<unsigned char>(clause_[at_]))) ++at_;
    token_ = Token{};
    token_.position = at_;
    if (at_ >= clause_.size()) return;
    const char c = clause_[at_];
    const char next = at_ + 1 < clause_.size() ? clause_[at_ + 1] : '\0';
    if (isNameStart(c)) {
      const std::size_t start = at_;
      while (at_ < clause_.size() && isNameChar(clause_[at_])) ++at_;
      token_ = {TokenKind::Name, std::string(clause_.substr(start, at_ - start)), start};
    } else if (isDigit(c) || ((c == '-' || c == '+' || c == '.') && (isDigit(next) || next == '.'))) {
      const std::size_t start = at_;
      ++at_;
      while (at_ < clause_.size() && (isDigit(clause_[at_]) || clause_[at_] == '.')) ++at_;
      if (at_ < clause_.size() && (clause_[at_] == 'e' || clause_[at_] == 'E')) {
        std::size_t e = at_ + 1;
        if (e < clause_.size() && (clause_[e] == '+' || clause_[e] == '-')) ++e;
        if (e < clause_.size() && isDigit(clause_[e])) {
          at_ = e;
          while (at_ < clause_.size() && isDigit(clause_[at_])) ++at_;
        }
      }
      token_ = {TokenKind::Number, std::string(clause_.substr(start, at_ - start)), start};
    } else if (c == '\'' || c == '"') {
      const std::size_t start = at_++;
      std::string text;
      for (;;) {
        if (at_ >= clause_.size()) {
          token_.position = start;
          error("unterminated quote");
        }
        if (clause_[at_] == c) {
          if (at_ + 1 < clause_.size() && clause_[at_ + 1] == c) {
            text += c;
            at_ += 2;
            continue;
          }
          ++at_;
          break;
        }
        text += clause_[at_++];
      }
      token_ = {c == '\'' ? TokenKind::Text : TokenKind::QuotedName, std::move(text), start};
    } else if (c == '(' || c == ')') {
      token_ = {c == '(' ? TokenKind::Open : TokenKind::Close, std::string(1, c), at_++};
    } else if (c == '=' || c == '<' || c == '>' || c == '!') {
      std::string op(1, c);
      if ((c == '<' && (next == '=' || next == '>')) || ((c == '>' || c == '!') && next == '=')) op += next;
      if (op == "!") error("unexpected \"!\"");
      token_ = {TokenKind::Operator, op, at_};
      at_ += op.size();
    } else {
      error(std::string("unexpected \"") + c + "\"");
    }
  }

  std::unique_ptr<N> condition(int depth) {
    auto first = term(depth);
    if (!keyword("OR")) return first;
    auto node = std::make_unique<N>();
    node->kind = N::Kind::Or;
    node->children.push_back(std::move(first));
    while (keyword("OR")) {
      advance();
      node->children.push_back(term(depth));
    }
    return node;
  }

  std::unique_ptr<N> term(int depth) {
    auto first = factor(depth);
    if (!keyword("AND")) return first;
    auto node = std::make_unique<N>();
    node->kind = N::Kind::And;
    node->children.push_back(std::move(first));
    while (keyword("AND")) {
      advance();
      node->children.push_back(factor(depth));
    }
    return node;
  }

  std::unique_ptr<N> factor(int depth) {
    if (depth > kMaxDepth) error("nesting too deep");
    if (keyword("NOT")) {
      advance();
      auto node = std::make_unique<N>();
      node->kind = N::Kind::Not;
      node->children.push_back(factor(depth + 1));
      return node;
    }
    if (token_.kind == TokenKind::Open) {
      advance();
      auto inner = condition(depth + 1);
      if (token_.kind != TokenKind::Close) error("\")\" expected");
      advance();
      return inner;
    }
    if (token_.kind != TokenKind::Name && token_.kind != TokenKind::QuotedName) error("field name expected");
    auto node = std::make_unique<N>();
    node->field = resolveField(token_.text);
    advance();
    if (keyword("IS")) {
      advance();
      node->kind = N::Kind::IsNull;
      if (keyword("NOT")) {
        node->negated = true;
        advance();
      }
      if (!keyword("NULL")) error("NULL expected");
      advance();
      return node;
    }
    if (token_.kind != TokenKind::Operator) error("comparison operator expected");
    node->kind = N::Kind::Compare;
    const std::string& op = token_.text;
    node->op = op == "="                    ? N::Op::Eq
               : (op == "<>" || op == "!=") ? N::Op::Ne
               : op == "<"                  ? N::Op::Lt
               : op == "<="                 ? N::Op::Le
               : op == ">"                  ? N::Op::Gt
                                            : N::Op::Ge;
    advance();
    literal(*node);
    return node;
  }

  int resolveField(const std::string& name) {
    const int index = fields_.GetFieldIndex(name.c_str());
    if (index >= 0) return index;
    if (host::iequals(name, "FID")) return kObjectIdField;
    error("no field \"" + name + "\"");
  }

  void literal(N& node) {
    if (token_.kind != TokenKind::Number && token_.kind != TokenKind::Text)
      error("number or 'text' expected");
    const bool isText = token_.kind == TokenKind::Text;
    const OGRFieldType type =
        node.field == kObjectIdField ? OFTInteger64 : fields_.GetFieldDefn(node.field)->GetType();
    const char* fieldName =
        node.field == kObjectIdField ? "FID" : fields_.GetFieldDefn(node.field)->GetNameRef();
    auto mismatch = [&] { error(std::string("type mismatch with field \"") + fieldName + "\""); };
    switch (type) {
      case OFTInteger:
      case OFTInteger64:
      case OFTReal: {
        node.operand = N::Operand::Number;
        if (isText) {
          const auto n = host::parseNumber(token_.text);
          if (!n) mismatch();
          node.number = *n;
        } else {
          const auto n = host::parseNumber(token_.text);
          if (!n) error("\"" + token_.text + "\" is not a number");
          node.number = *n;
        }
        break;
      }
      case OFTString:
        if (!isText) mismatch();
        node.operand = N::Operand::Text;
        node.text = token_.text;
        break;
      case OFTDate:
      case OFTDateTime: {
        if (!isText) mismatch();
        const auto d = host::Date::parseIso8601(token_.text);
        if (!d) error("\"" + token_.text + "\" is not a date");
        node.operand = N::Operand::Date;
        node.number = d->unixSeconds();
        break;
      }
      default:
        mismatch();
    }
    advance();
  }

  std::string_view clause_;
  const OGRFeatureDefn& fields_;
  std::size_t at_ = 0;
  Token token_;
};

template <class T>
Truth compare(WhereFilter::Node::Op op, const T& a, const T& b) {
  using Op = WhereFilter::Node::Op;
  bool r = false;
  switch (op) {
    case Op::Eq:
      r = a == b;
      break;
    case Op::Ne:
      r = a != b;
      break;
    case Op::Lt:
      r = a < b;
      break;
    case Op::Le:
      r = a <= b;
      break;
    case Op::Gt:
      r = a > b;
      break;
    case Op::Ge:
      r = a >= b;
      break;
  }
  return r ? Truth::True : Truth::False;
}

}  // namespace

Truth WhereFilter::Node::evaluate(const OGRFeature& f) const {
  switch (kind) {
    case Kind::Everything:
      return Truth::True;
    case Kind::Or: {
      Truth result = Truth::False;
      for (const auto& c : children) {
        const Truth t = c->evaluate(f);
        if (t == Truth::True) return t;
        if (t == Truth::Unknown) result = t;
      }
      return result;
    }
    case Kind::And: {
      Truth result = Truth::True;
      for (const auto& c : children) {
        const Truth t = c->evaluate(f);
        if (t == Truth::False) return t;
        if (t == Truth::Unknown) result = t;
      }
      return result;
    }
    case Kind::Not:
      return negate(children.front()->evaluate(f));
    case Kind::IsNull: {
      const bool isNull = field != kObjectIdField && !f.IsFieldSetAndNotNull(field);
      return isNull != negated ? Truth::True : Truth::False;
    }
    case Kind::Compare:
      break;
  }
  if (field == kObjectIdField) return compare(op, static_cast<double>(f.GetFID()), number);
  if (!f.IsFieldSetAndNotNull(field)) return Truth::Unknown;
  switch (operand) {
    case Operand::Number:
      return compare(op, f.GetFieldAsDouble(field), number);
    case Operand::Text:
      return compare(op, std::string(f.GetFieldAsString(field)), text);
    case Operand::Date: {
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, tz = 0;
      float s = 0.0f;
      if (!f.GetFieldAsDateTime(field, &y, &mo, &d, &h, &mi, &s, &tz)) return Truth::Unknown;
      const double seconds = host::Date::fromCivil({y, mo, d, h, mi, static_cast<double>(s)}).unixSeconds();
      return compare(op, seconds, number);
    }
  }
  return Truth::Unknown;
}

WhereFilter WhereFilter::compile(std::string_view clause, const OGRFeatureDefn& fields) {
  const std::string_view trimmed = host::trim(clause);
  if (trimmed.empty()) return WhereFilter(std::make_unique<Node>());
  return WhereFilter(Parser(trimmed, fields).parseAll());
}

WhereFilter::WhereFilter(std::unique_ptr<Node> root) : root_(std::move(root)) {}
WhereFilter::WhereFilter(WhereFilter&&) noexcept = default;
WhereFilter& WhereFilter::operator=(WhereFilter&&) noexcept = default;
WhereFilter::~WhereFilter() = default;

bool WhereFilter::keepsEveryRow() const { return root_->kind == Node::Kind::Everything; }

bool WhereFilter::matches(const OGRFeature& feature) const { return root_->evaluate(feature) == Truth::True; }

}  // namespace orvex::platform::gdal
