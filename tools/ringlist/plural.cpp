#include "ringlist/plural.h"

namespace ringlist {

std::string plural(long long count, const char* one, const char* few, const char* many) {
    long long n = count < 0 ? -count : count;
    const char* word = many;
    if (n % 10 == 1 && n % 100 != 11) {
        word = one;
    } else if (n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14)) {
        word = few;
    }
    return std::to_string(count) + " " + word;
}

std::string plural(long long count, const std::string& word) {
    struct Forms {
        const char* one;
        const char* few;
        const char* many;
    };
    static const Forms forms[] = {
        {"запись", "записи", "записей"}, {"строка", "строки", "строк"},
        {"часть", "части", "частей"},    {"отметка", "отметки", "отметок"},
        {"байт", "байта", "байт"},       {"папка", "папки", "папок"},
    };
    for (const Forms& f : forms) {
        if (word == f.one) {
            return plural(count, f.one, f.few, f.many);
        }
    }
    return std::to_string(count) + " " + word;
}

}  // namespace ringlist
