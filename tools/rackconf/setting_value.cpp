#include "rackconf/setting_value.h"

namespace rackconf {

std::string value_fault(const std::string& value) {
    for (size_t at = 0; at < value.size(); ++at) {
        unsigned char c = static_cast<unsigned char>(value[at]);
        if (c == '\r' || c == '\n') {
            return "в значении перевод строки";
        }
        if (c < 0x20 || c == 0x7F) {
            return "в значении управляющий знак";
        }
        if (c == '"') {
            return "в значении кавычка (в пути ее не бывает; путь в кавычках, кончающийся "
                   "на \\, ее теряет: уберите \\ в конце)";
        }
        if (c == '|') {
            return "в значении \"|\" (в имени порта и папки Windows его не бывает, а "
                   "установщик им разделяет порт и папку)";
        }
        if (c == '#' && (at == 0 || value[at - 1] == ' ')) {
            return "в значении \"#\" в начале или после пробела: файл настроек прочтет с него "
                   "комментарий";
        }
    }
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) {
        return "пробел в начале или в конце значения";
    }
    return "";
}

}  // namespace rackconf
