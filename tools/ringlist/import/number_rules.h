#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ringlist {

// Why a row of an import is not in the list: one table, for the rejects file, the counts and
// --help.
enum class Reject {
    none,
    no_column,
    too_short,
    foreign_code,
    exponent,
    fraction,
    amount_empty,
    amount_negative,
    amount_not_number,
    amount_long,
    repeat,
    sum_long,
    in_list,
    stop_list,
    too_wide,
};
constexpr int REJECT_KINDS = 15;

// "номер короче 7 цифр" ...; for repeat, "повтор строки" (the line follows).
const char* reject_reason(Reject reject);

// Prefixes as --prefix gives them ("99871,871,71"), longest first. Returns what is wrong.
std::string parse_prefixes(const std::string& text, std::vector<std::string>& prefixes);
// --prefix as a command takes it: none when text is empty; a fault said to out as
// "--prefix: ...". False when refused.
bool prefix_option(const std::string& text, std::vector<std::string>& prefixes, std::ostream& out);

// A subscriber's number from any way of writing it: every non-digit dropped; seven digits are
// kept, a longer number only when it is a prefix and seven digits, the prefix dropped. A cell
// a spreadsheet wrote as a number ("7123456,00", "7 123 456.0") loses its zero fraction
// first; any other fraction is refused: its digits are no part of the number.
Reject normalise_number(const std::string& field, const std::vector<std::string>& prefixes,
                        std::string& number);

// An amount: a decimal comma or point, blanks or non-breaking spaces between the thousands;
// rounded half up to whole units, as the board speaks them.
Reject parse_amount(const std::string& field, long& amount);

}  // namespace ringlist
