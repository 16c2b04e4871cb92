#include "core/catalogue.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "zmcorelib/ids.h"

namespace ZmCoreLib {
namespace {

constexpr unsigned kString = kKindString;
constexpr unsigned kEnum = kKindEnum;
constexpr unsigned kScalar = kKindScalar;
constexpr unsigned kTest = kGroupTestPicture;
constexpr unsigned kCamera = kGroupCameraOperation;
constexpr unsigned kIntensifier = kGroupIntensifier;
constexpr unsigned kSync = kGroupSynchronisation;
constexpr unsigned kInfo = kGroupInformation;

// Most entries repeat the name as hint and description, or describe themselves as the name
// followed by " - .....". These spell those two patterns once; the texts stay string literals,
// so the entries point at constant storage.
#define ZM_SAME(id, kind, group, name) \
    { id, kind, group, name, name, name }
#define ZM_ELLIPSIS(id, kind, group, name) \
    { id, kind, group, name, name, name u" - ....." }
#define ZM_HINTED(id, kind, group, name, hint) \
    { id, kind, group, name, hint, hint }

constexpr SettingCatalogueEntry kSettings[] = {
    ZM_ELLIPSIS(0x3101, kString, kInfo, u"Название камеры"),
    ZM_ELLIPSIS(0x3102, kString, kInfo, u"Версия камеры"),
    ZM_ELLIPSIS(0x3103, kString, kInfo, u"Интерфейс камеры"),
    ZM_ELLIPSIS(0x3104, kString, kInfo, u"Серийный номер камеры"),
    ZM_ELLIPSIS(0x3106, kString, kInfo, u"Серийный номер ЭОП"),
    ZM_ELLIPSIS(0x3105, kString, kInfo, u"Серийный номер контроллера"),
    ZM_ELLIPSIS(0x310B, kString, kInfo, u"Скорость перекачки"),
    ZM_ELLIPSIS(0x310C, kString, kInfo, u"Температура камеры"),
    ZM_ELLIPSIS(0x310D, kString, kInfo, u"Температура сенсора"),
    ZM_SAME(0x310A, kString, kInfo, u"Регистр 2"),
    ZM_SAME(0x3109, kString, kInfo, u"Регистр 3"),
    ZM_SAME(0x3108, kString, kInfo, u"Регистр 4"),
    ZM_SAME(0x3107, kString, kInfo, u"Регистр 5"),
    ZM_ELLIPSIS(0x4101, kString, kInfo, u"Введено кадров"),
    ZM_ELLIPSIS(0x3001, kEnum, kCamera, u"Режим работы камеры"),
    ZM_HINTED(0x3003, kEnum, kCamera, u"Усиление", u"Усиление."),
    ZM_SAME(0x3007, kScalar, kCamera, u"Биннинг по X"),
    ZM_SAME(0x3008, kScalar, kCamera, u"Биннинг по Y"),
    ZM_SAME(0x3017, kScalar, kCamera, u"Размер кадра: X"),
    ZM_SAME(0x3018, kScalar, kCamera, u"Размер кадра: Y"),
    ZM_SAME(0x3019, kScalar, kCamera, u"Размер кадра: Ширина"),
    ZM_SAME(0x301A, kScalar, kCamera, u"Размер кадра: Высота"),
    {0x3002, kScalar, kCamera, u"Кадровый период", u"Время между последовательно вводимыми кадрами.",
     u"Кадровый период (frame period)- ....."},
    {0x3005, kScalar, kCamera, u"Период мультиэкспозиции", u"Время между последовательно вводимыми кадрами.",
     u"Кадровый период (frame period)- ....."},
    {0x3004, kScalar, kCamera, u"Длительность экспозиции",
     u"Время определяющее длительность открытия затвора камеры.",
     u"Время определяющее длительность открытия затвора камеры ......"},
    ZM_SAME(0x3022, kScalar, kCamera, u"Частота сдвига"),
    ZM_SAME(0x3023, kScalar, kCamera, u"Начало хронограммы"),
    ZM_SAME(0x3024, kScalar, kCamera, u"Период строчной частоты"),
    ZM_SAME(0x3040, kScalar, kCamera, u"Задержка SHP"),
    ZM_SAME(0x3041, kScalar, kCamera, u"Задержка SHD"),
    ZM_HINTED(0x3042, kScalar, kCamera, u"Задержка данных[", u"Задержка данных"),
    ZM_SAME(0x3043, kScalar, kCamera, u"Задержка SHD (sampling)"),
    ZM_SAME(0x3030, kEnum, kCamera, u"Режим ввода"),
    ZM_ELLIPSIS(0x3031, kEnum, kSync, u"Источник начала ввода"),
    ZM_ELLIPSIS(0x3033, kEnum, kSync, u"Источник начала экспозиции"),
    ZM_ELLIPSIS(0x3032, kEnum, kSync, u"Событие начала ввода"),
    ZM_ELLIPSIS(0x3034, kEnum, kSync, u"Событие начала экспозиции"),
    ZM_HINTED(0x3035, kScalar, kSync, u"Разрешено импульсов начала ввода",
              u"Количество импульсов начала ввода до блокировки камеры."),
    ZM_HINTED(0x3036, kScalar, kSync, u"Вводить кадров",
              u"Количество кадров, которые вводятся по одному импульсу начала ввода."),
    ZM_HINTED(0x3037, kScalar, kSync, u"Задержка начала экспозиции",
              u"Время определяющее задержку начала экспозиции относительно импульса начала экспозиции."),
    ZM_ELLIPSIS(0x3010, kEnum, kSync, u"Запрет выходов синхронизации"),
    ZM_SAME(0x3039, kScalar, kSync, u"Длительность импульса подсветки"),
    ZM_ELLIPSIS(0x3038, kEnum, kTest, u"Тестовая картинка"),
    ZM_SAME(0x3202, kEnum, kIntensifier, u"Режим работы"),
    ZM_SAME(0x3203, kScalar, kIntensifier, u"Напряжение на МКП"),
    ZM_SAME(0x3201, kEnum, kIntensifier, u"Режим запуска"),
    ZM_SAME(0x3210, kScalar, kIntensifier, u"Электронная диафрагма"),
    ZM_HINTED(0x3204, kScalar, kIntensifier, u"Задержка", u"Задержка открытия затвора ЭОП"),
    ZM_SAME(0x3205, kScalar, kIntensifier, u"Длительность экспозиции"),
    ZM_SAME(0x3207, kScalar, kIntensifier, u"Количество экспозиций"),
    ZM_SAME(0x3206, kScalar, kIntensifier, u"Пауза между экспозициями"),
    ZM_HINTED(0x3208, kScalar, kIntensifier, u"(1)Задержка", u"(1)Задержка открытия затвора ЭОП"),
    ZM_HINTED(0x3209, kScalar, kIntensifier, u"(1)Длительность импульса",
              u"(1)Длительность открытия затвора ЭОП"),
    ZM_HINTED(0x320B, kScalar, kIntensifier, u"(1)Количество импульсов", u"(1)Количество экспозиций"),
    ZM_HINTED(0x320A, kScalar, kIntensifier, u"(1)Пауза между импульсами", u"(1)Пауза между экспозициями"),
    ZM_HINTED(0x320C, kScalar, kIntensifier, u"Пауза между затворными импульсами",
              u"Пауза между затворными импульсами ЭОП"),
    ZM_HINTED(0x320D, kScalar, kIntensifier, u"(2)Длительность импульса",
              u"(2)Длительность открытия затвора ЭОП"),
    ZM_HINTED(0x320F, kScalar, kIntensifier, u"(2)Количество импульсов", u"(2)Количество экспозиций"),
    ZM_HINTED(0x320E, kScalar, kIntensifier, u"(2)Пауза между импульсами", u"(2)Пауза между экспозициями"),
};

#undef ZM_SAME
#undef ZM_ELLIPSIS
#undef ZM_HINTED

constexpr EnumValueCatalogueEntry kEnumValues[] = {
    {0x5001, u"Постановка сцены (Юстировка)"},
    {0x5002, u"Настройка камеры"},
    {0x5003, u"Ввод и запись"},
    {0x5004, u"Просмотр и обработка"},
    {0x5005, u"0 dB"},
    {0x5006, u"6 dB"},
    {0x5007, u"12 dB"},
    {0x5008, u"18 dB"},
    {0x5009, u"Однокадровый"},
    {0x501B, u"Однокадровый"},
    {0x501C, u"Однокадровый(Последовательный)"},
    {0x501D, u"Двухкадровая"},
    {0x501E, u"Мультикадровая"},
    {0x5018, u"Кадровый"},
    {0x5019, u"Строчный"},
    {0x500B, u"Внешний RS-вход"},
    {0x500C, u"Внешний TTL-вход"},
    {0x500D, u"Внутренний генератор"},
    {0x500E, u"Программное событие"},
    {0x500F, u"Высокий уровень"},
    {0x5010, u"Низкий уровень"},
    {0x5011, u"Уровень положительный"},
    {0x5012, u"Уровень отрицательный"},
    {0x5013, u"Запрет работы"},
    {0x5014, u"Юстировка"},
    {0x5015, u"Однокадровый"},
    {0x5016, u"С предварительным синхроимпульсом"},
    {0x5017, u"Без предварительного синхроимпульса"},
    {0x501A, u"Двухкадровый"},
    {0x5020, u"Разрешено"},
    {0x5021, u"Запрещено"},
};

// The second's first letter is a Latin "c", as the cameras' software has always shown it.
constexpr UnitCatalogueEntry kUnits[] = {
    {kUnitNanosecond, 1, u"нс"},
    {kUnitMicrosecond, 1000, u"мкс"},
    {kUnitMillisecond, 1000000, u"мс"},
    {kUnitSecond, 1000000000, u"cек"},
    {kUnitMicrovolt, 1, u"мкВ"},
    {kUnitMillivolt, 1000, u"мВ"},
    {kUnitVolt, 1000000, u"В"},
    {kUnitPixel, 1, u"пкс"},
    {kUnitFrame, 1, u"кдр"},
    {kUnitLine, 1, u"лн"},
    {kUnitHertz, 1, u"Гц"},
    {kUnitKilohertz, 1000, u"КГц"},
    {kUnitMegahertz, 1000000, u"МГц"},
    {kUnitPulse, 1, u"Имп"},
    {kUnitPercent, 1, u"%"},
    {kUnitConventional, 1, u"у.е."},
};

[[noreturn]] void throwMissing(const char* catalogue, unsigned id) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", id);
    throw std::invalid_argument(std::string(catalogue) + " has no id " + hex);
}

template <class Entry, class Id>
const Entry* findFirst(std::span<const Entry> table, Id id) {
    auto it = std::find_if(table.begin(), table.end(), [id](const Entry& e) { return e.id == id; });
    return it != table.end() ? &*it : nullptr;
}

}  // namespace

std::span<const SettingCatalogueEntry> SettingCatalogue() {
    return kSettings;
}
std::span<const EnumValueCatalogueEntry> EnumValueCatalogue() {
    return kEnumValues;
}
std::span<const UnitCatalogueEntry> UnitCatalogue() {
    return kUnits;
}

const SettingCatalogueEntry& FindSettingEntry(unsigned id) {
    if (const auto* entry = findFirst(SettingCatalogue(), id)) return *entry;
    throwMissing("the settings catalogue", id);
}

const EnumValueCatalogueEntry& FindEnumValueEntry(int valueId) {
    if (const auto* entry = findFirst(EnumValueCatalogue(), valueId)) return *entry;
    throwMissing("the enumeration value catalogue", static_cast<unsigned>(valueId));
}

const UnitCatalogueEntry* LookUpUnit(int unitId) {
    return findFirst(UnitCatalogue(), unitId);
}

const UnitCatalogueEntry& FindUnitEntry(int unitId) {
    if (const auto* entry = LookUpUnit(unitId)) return *entry;
    throwMissing("the unit catalogue", static_cast<unsigned>(unitId));
}

}  // namespace ZmCoreLib
