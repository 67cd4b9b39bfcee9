#include "ringlist/import/number_rules.h"

#include <algorithm>

#include "base/plain_text.h"
#include "ringlist/import/csv_table.h"

namespace ringlist {

namespace {

const char* const REASONS[REJECT_KINDS] = {
    "",
    "нет такого столбца в строке",
    "номер короче 7 цифр",
    "чужой код: номер длиннее 7 цифр и не начинается с префикса из --prefix",
    "номер записан в экспоненциальной форме (как 1,23457E+11): Excel испортил столбец",
    "номер с дробной частью (или точкой, запятой перед последними цифрами): не ясно, чей",
    "нет суммы",
    "отрицательная сумма",
    "сумма не число",
    "сумма длиннее 7 цифр",
    "повтор строки",
    "сумма вместе с повтором номера длиннее 7 цифр",
    "номер уже есть в списке",
    "номер в стоп-листе",
    "в строке больше полей, чем в заголовке: столбцы сдвинуты (разделитель в поле без кавычек?)",
};

bool digits_only(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "1,23457E+11", "1.2E11": what a spreadsheet makes of a long number.
bool exponent_form(const std::string& text) {
    size_t e = text.find_first_of("eE");
    if (e == std::string::npos || e == 0) {
        return false;
    }
    std::string mantissa = text.substr(0, e);
    std::string power = text.substr(e + 1);
    if (!power.empty() && power[0] == '+') {
        power.erase(0, 1);
    }
    size_t point = mantissa.find_first_of(",.");
    if (point != std::string::npos) {
        mantissa.erase(point, 1);
    }
    return digits_only(mantissa) && digits_only(power);
}

// Blanks a spreadsheet puts between thousands: space, non-breaking and narrow no-break space.
std::string without_blanks(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' || text[i] == '\t') {
            continue;
        }
        if (text.compare(i, 2, "\xC2\xA0") == 0) {
            ++i;
            continue;
        }
        if (text.compare(i, 3, "\xE2\x80\xAF") == 0) {
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

bool all_of(const std::string& text, size_t from, size_t to, const char* set) {
    return from < to && text.find_first_not_of(set, from) >= to;
}

// Thousands grouped by mark ("7,123,456", "7.123.456"): a first group of 1 to 3 digits, then
// groups of three.
bool grouped(const std::string& whole, char mark) {
    size_t first = whole.find(mark);
    if (first == std::string::npos || first == 0 || first > 3) {
        return false;
    }
    for (size_t at = first; at < whole.size(); at += 4) {
        if (whole[at] != mark || at + 4 > whole.size() ||
            !all_of(whole, at + 1, at + 4, "0123456789")) {
            return false;
        }
    }
    return all_of(whole, 0, first, "0123456789");
}

// Where the fraction of a number as a spreadsheet writes it begins (at its decimal mark), or
// npos when text is not so written: digits, maybe grouped by thousands, then one decimal
// mark and digits. Phone punctuation ("123.45.67", "123-45-67") is not a number with a
// fraction and is left to the digit rule.
size_t fraction_start(const std::string& text) {
    size_t from = !text.empty() && text[0] == '+' ? 1 : 0;
    size_t mark = text.find_last_of(",.");
    if (mark == std::string::npos || mark <= from ||
        !all_of(text, mark + 1, text.size(), "0123456789")) {
        return std::string::npos;
    }
    std::string whole = text.substr(from, mark - from);
    char other = text[mark] == ',' ? '.' : ',';
    if (all_of(whole, 0, whole.size(), "0123456789") || grouped(whole, other)) {
        return mark;
    }
    return std::string::npos;
}

// "123-45-67,00", "71 123-45.67": one decimal mark after phone punctuation. Whether its digits
// are the number's or a fraction's cannot be told, and either guess may call another
// subscriber.
bool unclear_tail(const std::string& text) {
    size_t mark = text.find_last_of(",.");
    return mark != std::string::npos && mark > 0 && text.find(text[mark]) == mark &&
           all_of(text, mark + 1, text.size(), "0123456789");
}

// The number itself, from its first digit (or its +) to its last: a bracket, quotes, a word
// or a sign around it ("(7123456,00)", "7123456,00 р.", "тел. 7123456.00") are not its
// digits, and must not hide its decimal mark from the fraction rule.
std::string number_span(const std::string& text) {
    size_t first = text.find_first_of("+0123456789");
    size_t last = text.find_last_of("0123456789");
    if (first == std::string::npos || last == std::string::npos || last < first) {
        return text;
    }
    return text.substr(first, last - first + 1);
}

// A currency a spreadsheet's format puts after an amount ("1 234,50 ₽", "100 р.", "руб.").
std::string without_currency(const std::string& text) {
    if (text.empty() || (text.back() >= '0' && text.back() <= '9')) {
        return text;
    }
    std::string small = lowercase(text);
    for (const char* sign : {"\xE2\x82\xBD", "руб.", "руб", "р.", "р", "rub"}) {
        std::string s = sign;
        if (small.size() > s.size() && small.compare(small.size() - s.size(), s.size(), s) == 0) {
            return text.substr(0, text.size() - s.size());
        }
    }
    return text;
}

}  // namespace

const char* reject_reason(Reject reject) {
    return REASONS[static_cast<int>(reject)];
}

std::string parse_prefixes(const std::string& text, std::vector<std::string>& prefixes) {
    prefixes.clear();
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = std::min(text.find(',', at), text.size());
        std::string prefix = core::trimmed(text.substr(at, comma - at));
        if (!digits_only(prefix)) {
            return "префикс \"" + prefix + "\" - не цифры";
        }
        prefixes.push_back(prefix);
        at = comma + 1;
    }
    std::stable_sort(
        prefixes.begin(), prefixes.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return {};
}

bool prefix_option(const std::string& text, std::vector<std::string>& prefixes, std::ostream& out) {
    prefixes.clear();
    std::string wrong = text.empty() ? std::string() : parse_prefixes(text, prefixes);
    if (!wrong.empty()) {
        out << "--prefix: " << wrong << "\n";
    }
    return wrong.empty();
}

Reject normalise_number(const std::string& field, const std::vector<std::string>& prefixes,
                        std::string& number) {
    std::string text = without_blanks(field);
    if (exponent_form(text)) {
        return Reject::exponent;
    }
    text = number_span(text);
    size_t fraction = fraction_start(text);
    if (fraction != std::string::npos) {
        if (text.find_first_not_of('0', fraction + 1) != std::string::npos) {
            return Reject::fraction;
        }
        text.erase(fraction);
    } else if (unclear_tail(text)) {
        return Reject::fraction;
    }
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    if (digits.size() < 7) {
        return Reject::too_short;
    }
    if (digits.size() == 7) {
        number = digits;
        return Reject::none;
    }
    // Our code with too few digits after it is a short number, not a foreign one.
    bool short_after_prefix = false;
    for (const std::string& prefix : prefixes) {
        if (digits.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        if (digits.size() == prefix.size() + 7) {
            number = digits.substr(prefix.size());
            return Reject::none;
        }
        short_after_prefix = short_after_prefix || digits.size() < prefix.size() + 7;
    }
    return short_after_prefix ? Reject::too_short : Reject::foreign_code;
}

Reject parse_amount(const std::string& field, long& amount) {
    std::string text = without_currency(without_blanks(field));
    if (text.empty()) {
        return Reject::amount_empty;
    }
    if (text[0] == '-') {
        return Reject::amount_negative;
    }
    if (text[0] == '+') {
        text.erase(0, 1);
    }
    size_t point = text.find_first_of(",.");
    std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    bool number = digits_only(whole) &&
                  (point == std::string::npos || fraction.empty() || digits_only(fraction));
    if (!number) {
        return Reject::amount_not_number;
    }
    size_t first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? "0" : whole.substr(first);
    if (whole.size() > 7) {
        return Reject::amount_long;
    }
    amount = std::stol(whole) + (!fraction.empty() && fraction[0] >= '5' ? 1 : 0);
    return amount > 9999999 ? Reject::amount_long : Reject::none;
}

}  // namespace ringlist
