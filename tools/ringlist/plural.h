#pragma once

#include <string>

namespace ringlist {

// "1 строка", "3 строки", "5 строк": a count with the word in the form Russian gives it.
std::string plural(long long count, const char* one, const char* few, const char* many);

// The same for the words ringlist counts most: запись, строка, часть, отметка, байт.
std::string plural(long long count, const std::string& word);

}  // namespace ringlist
