#include "base/system_reason.h"

#include <cerrno>
#include <cstring>

namespace core {

std::string system_reason(int error) {
    switch (error) {
        case ENOENT:
            return "нет такого файла или папки";
        case EACCES:
        case EPERM:
            return "нет доступа";
        case EBUSY:
            return FILE_BUSY;
        case EROFS:
            return "только для чтения";
        case ENOSPC:
            return "нет места на диске";
        case EIO:
            return "ошибка ввода-вывода";
        case ENODEV:
        case ENXIO:
            return "нет такого устройства";
        case EISDIR:
            return "это папка, а не файл";
        case ELOOP:
            return "ссылки ведут по кругу";
        case ENOTDIR:
            return "в пути вместо папки файл";
        case ENOTEMPTY:
            return "папка не пуста";
        case EEXIST:
            return "уже есть";
        default:
            return std::strerror(error);
    }
}

}  // namespace core
