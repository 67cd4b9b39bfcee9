#include "ringlist/import/number_rules.h"

#include <algorithm>

#include "base/plain_text.h"

namespace ringlist {

namespace {

const char* const REASONS[REJECT_KINDS] = {
    "",
    "нет такого столбца в строке",
    "номер короче 7 цифр",
    "чужой код: номер длиннее 7 цифр и не начинается с префикса из --prefix",
    "номер записан в экспоненциальной форме (как 1,23457E+11): Excel испортил столбец",
    "нет суммы",
    "отрицательная сумма",
    "сумма не число",
    "сумма длиннее 7 цифр",
    "повтор строки",
    "номер уже есть в списке",
    "номер в стоп-листе",
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

Reject normalise_number(const std::string& field, const std::vector<std::string>& prefixes,
                        std::string& number) {
    std::string text = without_blanks(field);
    if (exponent_form(text)) {
        return Reject::exponent;
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
    std::string text = without_blanks(field);
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
