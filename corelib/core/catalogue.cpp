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
    ZM_ELLIPSIS(ids::kCameraName, kString, kInfo, u"Название камеры"),
    ZM_ELLIPSIS(ids::kCameraVersion, kString, kInfo, u"Версия камеры"),
    ZM_ELLIPSIS(ids::kCameraInterface, kString, kInfo, u"Интерфейс камеры"),
    ZM_ELLIPSIS(ids::kCameraSerial, kString, kInfo, u"Серийный номер камеры"),
    ZM_ELLIPSIS(ids::kIntensifierSerial, kString, kInfo, u"Серийный номер ЭОП"),
    ZM_ELLIPSIS(ids::kControllerSerial, kString, kInfo, u"Серийный номер контроллера"),
    ZM_ELLIPSIS(ids::kTransferRate, kString, kInfo, u"Скорость перекачки"),
    ZM_ELLIPSIS(ids::kCameraTemperature, kString, kInfo, u"Температура камеры"),
    ZM_ELLIPSIS(ids::kSensorTemperature, kString, kInfo, u"Температура сенсора"),
    ZM_SAME(ids::kRegister2, kString, kInfo, u"Регистр 2"),
    ZM_SAME(ids::kRegister3, kString, kInfo, u"Регистр 3"),
    ZM_SAME(ids::kRegister4, kString, kInfo, u"Регистр 4"),
    ZM_SAME(ids::kRegister5, kString, kInfo, u"Регистр 5"),
    ZM_ELLIPSIS(ids::kFrameCounter, kString, kInfo, u"Введено кадров"),
    ZM_ELLIPSIS(ids::kCameraMode, kEnum, kCamera, u"Режим работы камеры"),
    ZM_HINTED(ids::kGain, kEnum, kCamera, u"Усиление", u"Усиление."),
    ZM_SAME(ids::kBinningX, kScalar, kCamera, u"Биннинг по X"),
    ZM_SAME(ids::kBinningY, kScalar, kCamera, u"Биннинг по Y"),
    ZM_SAME(ids::kFrameX, kScalar, kCamera, u"Размер кадра: X"),
    ZM_SAME(ids::kFrameY, kScalar, kCamera, u"Размер кадра: Y"),
    ZM_SAME(ids::kFrameWidth, kScalar, kCamera, u"Размер кадра: Ширина"),
    ZM_SAME(ids::kFrameHeight, kScalar, kCamera, u"Размер кадра: Высота"),
    {ids::kFramePeriod, kScalar, kCamera, u"Кадровый период",
     u"Время между последовательно вводимыми кадрами.", u"Кадровый период (frame period)- ....."},
    {ids::kMultiExposurePeriod, kScalar, kCamera, u"Период мультиэкспозиции",
     u"Время между последовательно вводимыми кадрами.", u"Кадровый период (frame period)- ....."},
    {ids::kExposure, kScalar, kCamera, u"Длительность экспозиции",
     u"Время определяющее длительность открытия затвора камеры.",
     u"Время определяющее длительность открытия затвора камеры ......"},
    ZM_SAME(ids::kShiftFrequency, kScalar, kCamera, u"Частота сдвига"),
    ZM_SAME(ids::kChronogramStart, kScalar, kCamera, u"Начало хронограммы"),
    ZM_SAME(ids::kLinePeriod, kScalar, kCamera, u"Период строчной частоты"),
    ZM_SAME(ids::kShpDelay, kScalar, kCamera, u"Задержка SHP"),
    ZM_SAME(ids::kShdDelay, kScalar, kCamera, u"Задержка SHD"),
    ZM_HINTED(ids::kDataDelay, kScalar, kCamera, u"Задержка данных[", u"Задержка данных"),
    ZM_SAME(ids::kShdSamplingDelay, kScalar, kCamera, u"Задержка SHD (sampling)"),
    ZM_SAME(ids::kInputMode, kEnum, kCamera, u"Режим ввода"),
    ZM_ELLIPSIS(ids::kInputSource, kEnum, kSync, u"Источник начала ввода"),
    ZM_ELLIPSIS(ids::kExposureSource, kEnum, kSync, u"Источник начала экспозиции"),
    ZM_ELLIPSIS(ids::kInputEvent, kEnum, kSync, u"Событие начала ввода"),
    ZM_ELLIPSIS(ids::kExposureEvent, kEnum, kSync, u"Событие начала экспозиции"),
    ZM_HINTED(ids::kInputPulsesAllowed, kScalar, kSync, u"Разрешено импульсов начала ввода",
              u"Количество импульсов начала ввода до блокировки камеры."),
    ZM_HINTED(ids::kFramesPerStart, kScalar, kSync, u"Вводить кадров",
              u"Количество кадров, которые вводятся по одному импульсу начала ввода."),
    ZM_HINTED(ids::kExposureStartDelay, kScalar, kSync, u"Задержка начала экспозиции",
              u"Время определяющее задержку начала экспозиции относительно импульса начала экспозиции."),
    ZM_ELLIPSIS(ids::kSyncOutputs, kEnum, kSync, u"Запрет выходов синхронизации"),
    ZM_SAME(ids::kIlluminationPulse, kScalar, kSync, u"Длительность импульса подсветки"),
    ZM_ELLIPSIS(ids::kTestPicture, kEnum, kTest, u"Тестовая картинка"),
    ZM_SAME(ids::kIccdMode, kEnum, kIntensifier, u"Режим работы"),
    ZM_SAME(ids::kIccdMcpVoltage, kScalar, kIntensifier, u"Напряжение на МКП"),
    ZM_SAME(ids::kIccdStartMode, kEnum, kIntensifier, u"Режим запуска"),
    ZM_SAME(ids::kIccdDiaphragm, kScalar, kIntensifier, u"Электронная диафрагма"),
    ZM_HINTED(ids::kIccdDelay, kScalar, kIntensifier, u"Задержка", u"Задержка открытия затвора ЭОП"),
    ZM_SAME(ids::kIccdDuration, kScalar, kIntensifier, u"Длительность экспозиции"),
    ZM_SAME(ids::kIccdPulseCount, kScalar, kIntensifier, u"Количество экспозиций"),
    ZM_SAME(ids::kIccdPauseBetweenExposures, kScalar, kIntensifier, u"Пауза между экспозициями"),
    ZM_HINTED(ids::kIccdFirstDelay, kScalar, kIntensifier, u"(1)Задержка",
              u"(1)Задержка открытия затвора ЭОП"),
    ZM_HINTED(ids::kIccdFirstDuration, kScalar, kIntensifier, u"(1)Длительность импульса",
              u"(1)Длительность открытия затвора ЭОП"),
    ZM_HINTED(ids::kIccdFirstPulseCount, kScalar, kIntensifier, u"(1)Количество импульсов",
              u"(1)Количество экспозиций"),
    ZM_HINTED(ids::kIccdFirstPauseBetweenPulses, kScalar, kIntensifier, u"(1)Пауза между импульсами",
              u"(1)Пауза между экспозициями"),
    ZM_HINTED(ids::kIccdPauseBetweenShutterPulses, kScalar, kIntensifier,
              u"Пауза между затворными импульсами", u"Пауза между затворными импульсами ЭОП"),
    ZM_HINTED(ids::kIccdSecondDuration, kScalar, kIntensifier, u"(2)Длительность импульса",
              u"(2)Длительность открытия затвора ЭОП"),
    ZM_HINTED(ids::kIccdSecondPulseCount, kScalar, kIntensifier, u"(2)Количество импульсов",
              u"(2)Количество экспозиций"),
    ZM_HINTED(ids::kIccdSecondPauseBetweenPulses, kScalar, kIntensifier, u"(2)Пауза между импульсами",
              u"(2)Пауза между экспозициями"),
};

#undef ZM_SAME
#undef ZM_ELLIPSIS
#undef ZM_HINTED

constexpr EnumValueCatalogueEntry kEnumValues[] = {
    {ids::kCameraModeSceneSetup, u"Постановка сцены (Юстировка)"},
    {ids::kCameraModeCameraSetup, u"Настройка камеры"},
    {ids::kCameraModeCapture, u"Ввод и запись"},
    {ids::kCameraModeReview, u"Просмотр и обработка"},
    {ids::kGain0dB, u"0 dB"},
    {ids::kGain6dB, u"6 dB"},
    {ids::kGain12dB, u"12 dB"},
    {ids::kGain18dB, u"18 dB"},
    {ids::kModeSingle, u"Однокадровый"},
    {ids::kModeSingleFrame, u"Однокадровый"},
    {ids::kModeSingleFrameSequential, u"Однокадровый(Последовательный)"},
    {ids::kModeTwoFrames, u"Двухкадровая"},
    {ids::kModeMultiFrame, u"Мультикадровая"},
    {ids::kModeFrame, u"Кадровый"},
    {ids::kModeLine, u"Строчный"},
    {ids::kSourceExternalRs, u"Внешний RS-вход"},
    {ids::kSourceExternalTtl, u"Внешний TTL-вход"},
    {ids::kSourceInternalGenerator, u"Внутренний генератор"},
    {ids::kSourceSoftware, u"Программное событие"},
    {ids::kEventHighLevel, u"Высокий уровень"},
    {ids::kEventLowLevel, u"Низкий уровень"},
    {ids::kEventPositiveLevel, u"Уровень положительный"},
    {ids::kEventNegativeLevel, u"Уровень отрицательный"},
    {ids::kIccdModeOff, u"Запрет работы"},
    {ids::kIccdModeAlignment, u"Юстировка"},
    {ids::kIccdModeSingleFrame, u"Однокадровый"},
    {ids::kIccdStartWithSyncPulse, u"С предварительным синхроимпульсом"},
    {ids::kIccdStartWithoutSyncPulse, u"Без предварительного синхроимпульса"},
    {ids::kIccdModeTwoFrames, u"Двухкадровый"},
    {ids::kAllowed, u"Разрешено"},
    {ids::kForbidden, u"Запрещено"},
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

std::span<const SettingCatalogueEntry> settingCatalogue() {
    return kSettings;
}
std::span<const EnumValueCatalogueEntry> enumValueCatalogue() {
    return kEnumValues;
}
std::span<const UnitCatalogueEntry> unitCatalogue() {
    return kUnits;
}

const SettingCatalogueEntry& findSettingEntry(unsigned id) {
    if (const auto* entry = findFirst(settingCatalogue(), id)) return *entry;
    throwMissing("the settings catalogue", id);
}

const EnumValueCatalogueEntry& findEnumValueEntry(int valueId) {
    if (const auto* entry = findFirst(enumValueCatalogue(), valueId)) return *entry;
    throwMissing("the enumeration value catalogue", static_cast<unsigned>(valueId));
}

const UnitCatalogueEntry* lookUpUnit(int unitId) {
    return findFirst(unitCatalogue(), unitId);
}

const UnitCatalogueEntry& findUnitEntry(int unitId) {
    if (const auto* entry = lookUpUnit(unitId)) return *entry;
    throwMissing("the unit catalogue", static_cast<unsigned>(unitId));
}

}  // namespace ZmCoreLib
