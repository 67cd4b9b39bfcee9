#include "form/form_model.h"

namespace station {

std::string mode_name(uint8_t mode, const std::string& dtmf_name) {
    switch (mode) {
        case core::MODE_INFORMER:
            return "Автоинформатор";
        case core::MODE_RING:
            return "Прозвонка";
        case core::MODE_TIME:
            return "Служба времени";
        case core::MODE_DTMF:
            return dtmf_name;
        default:
            return "Неверный режим";
    }
}

}  // namespace station
