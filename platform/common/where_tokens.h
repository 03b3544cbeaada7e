#pragma once

// The where-clause engine's tokenizer and literal readers (internal to the engine).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/where_engine.h"

namespace orvex::platform::where {

enum class Tok { End, Name, QuotedName, Number, Text, Date, LParen, RParen, Op, Sign };

struct Token {
  Tok kind = Tok::End;
  std::string text;  ///< name, literal text, operator or sign spelling
  double number = 0.0;
  std::size_t pos = 0;  ///< 0-based offset in the clause
};

/// Throws `ClauseError` for a syntax error at `pos` (0-based).
[[noreturn]] void syntaxError(std::string_view clause, std::size_t pos, const std::string& what);

/// Splits a clause into tokens ending with one `Tok::End`.
std::vector<Token> tokenize(std::string_view clause, const Dialect& dialect);

/// The whole text as a finite number (surrounding blanks allowed), locale-independent.
std::optional<double> readNumber(std::string_view text);

/// Seconds since 1970-01-01T00:00:00 of a date in the dialect's forms.
std::optional<double> readDate(std::string_view text, Dialect::DateForms forms);

}  // namespace orvex::platform::where
