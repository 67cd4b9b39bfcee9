#include "campaign/db/db_record.h"

#include <cstdio>

namespace campaign {

std::string db_record_line(const std::string& number, long long amount, char mark) {
    char amount_text[32];
    std::snprintf(amount_text, sizeof amount_text, "%7lld", amount);
    return number + "  " + amount_text + " " + mark + "\r\n";
}

}  // namespace campaign
