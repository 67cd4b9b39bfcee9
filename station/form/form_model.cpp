#include "form/form_model.h"

namespace core {

std::string mode_name(uint8_t mode, const std::string& dtmf_name) {
    switch (mode) {
        case MODE_INFORMER:
            return "Автоинформатор";
        case MODE_RING:
            return "Прозвонка";
        case MODE_TIME:
            return "Служба времени";
        case MODE_DTMF:
            return dtmf_name;
        default:
            return "Неверный режим";
    }
}

}  // namespace core
