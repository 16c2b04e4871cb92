// The settings model: catalogues, Setting with its observers and shallow copies, the string
// kind, and the list iterators.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/pair.h"
#include "core/setting.h"
#include "zmcorelib/ids.h"

using namespace ZmCoreLib;

namespace {

// Records every notification; optionally throws from it.
class RecordingObserver final : public ISettingObserver {
public:
    void OnSettingChanged(ISetting* setting) override {
        calls.push_back(setting);
        if (throws) throw std::runtime_error("observer failure");
    }
    std::vector<ISetting*> calls;
    bool throws = false;
};

constexpr unsigned kCameraName = 0x3101;
constexpr unsigned kRegister2 = 0x310A;

// ---------------------------------------------------------------------------------------------
// Catalogues

TEST(Catalogue, TablesHaveTheirFullLengthInTableOrder) {
    const auto settings = settingCatalogue();
    ASSERT_EQ(settings.size(), 59u);
    EXPECT_EQ(settings.front().id, 0x3101u);
    EXPECT_EQ(settings[14].id, 0x3001u);  // first enumeration after the information texts
    EXPECT_EQ(settings.back().id, 0x320Eu);
    // Out-of-order ids keep the place the table gives them: the search order.
    std::vector<unsigned> intensifierModes;
    for (const auto& entry : settings) {
        if (entry.id == 0x3201 || entry.id == 0x3202) intensifierModes.push_back(entry.id);
    }
    EXPECT_EQ(intensifierModes, (std::vector<unsigned>{0x3202, 0x3201}));

    const auto values = enumValueCatalogue();
    ASSERT_EQ(values.size(), 31u);
    EXPECT_EQ(values.front().id, 0x5001);
    EXPECT_EQ(values[9].id, 0x501B);
    EXPECT_EQ(values.back().id, 0x5021);

    const auto units = unitCatalogue();
    ASSERT_EQ(units.size(), 16u);
    EXPECT_EQ(units.front().id, kUnitNanosecond);
    EXPECT_EQ(units.back().id, kUnitConventional);
}

struct SettingTextCase {
    unsigned id;
    unsigned kind;
    unsigned group;
    std::u16string name, hint, description;
};

TEST(Catalogue, SettingEntriesFollowTheSameAndEllipsisRules) {
    const SettingTextCase cases[] = {
        // name repeated as hint, description = name + " - ....."
        {0x3101, kKindString, kGroupInformation, u"Название камеры", u"Название камеры",
         u"Название камеры - ....."},
        // all three the same
        {0x310A, kKindString, kGroupInformation, u"Регистр 2", u"Регистр 2", u"Регистр 2"},
        // hint of its own, description = hint; the name keeps its stray bracket
        {0x3042, kKindScalar, kGroupCameraOperation, u"Задержка данных[", u"Задержка данных",
         u"Задержка данных"},
        {0x3003, kKindEnum, kGroupCameraOperation, u"Усиление", u"Усиление.", u"Усиление."},
        // three texts of their own
        {0x3004, kKindScalar, kGroupCameraOperation, u"Длительность экспозиции",
         u"Время определяющее длительность открытия затвора камеры.",
         u"Время определяющее длительность открытия затвора камеры ......"},
        {0x3005, kKindScalar, kGroupCameraOperation, u"Период мультиэкспозиции",
         u"Время между последовательно вводимыми кадрами.", u"Кадровый период (frame period)- ....."},
        {0x3038, kKindEnum, kGroupTestPicture, u"Тестовая картинка", u"Тестовая картинка",
         u"Тестовая картинка - ....."},
        {0x3031, kKindEnum, kGroupSynchronisation, u"Источник начала ввода", u"Источник начала ввода",
         u"Источник начала ввода - ....."},
        {0x320F, kKindScalar, kGroupIntensifier, u"(2)Количество импульсов", u"(2)Количество экспозиций",
         u"(2)Количество экспозиций"},
        {0x4101, kKindString, kGroupInformation, u"Введено кадров", u"Введено кадров",
         u"Введено кадров - ....."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const SettingCatalogueEntry& entry = findSettingEntry(c.id);
        EXPECT_EQ(entry.kind, c.kind);
        EXPECT_EQ(entry.group, c.group);
        EXPECT_EQ(entry.name, c.name);
        EXPECT_EQ(entry.hint, c.hint);
        EXPECT_EQ(entry.description, c.description);
    }
}

TEST(Catalogue, UnitsCarryTheirMultipliersAndTexts) {
    struct Case {
        int id;
        std::int64_t multiplier;
        std::u16string text;
    };
    const Case cases[] = {
        {kUnitNanosecond, 1, u"нс"},
        {kUnitMicrosecond, 1000, u"мкс"},
        {kUnitMillisecond, 1000000, u"мс"},
        {kUnitSecond, 1000000000, u"cек"},
        {kUnitMillivolt, 1000, u"мВ"},
        {kUnitVolt, 1000000, u"В"},
        {kUnitKilohertz, 1000, u"КГц"},
        {kUnitMegahertz, 1000000, u"МГц"},
        {kUnitPercent, 1, u"%"},
        {kUnitConventional, 1, u"у.е."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(findUnitEntry(c.id).multiplier, c.multiplier);
        EXPECT_EQ(findUnitEntry(c.id).text, c.text);
    }
    // The second's text starts with a Latin c, not the Cyrillic letter that looks the same.
    EXPECT_EQ(findUnitEntry(kUnitSecond).text[0], u'c');
}

TEST(Catalogue, SeveralValueIdsShareOneText) {
    for (int id : {0x5009, 0x501B, 0x5015})
        EXPECT_EQ(findEnumValueEntry(id).text, std::u16string(u"Однокадровый"));
    EXPECT_EQ(findEnumValueEntry(0x501D).text, std::u16string(u"Двухкадровая"));
    EXPECT_EQ(findEnumValueEntry(0x501A).text, std::u16string(u"Двухкадровый"));
}

TEST(Catalogue, MissingIdsAreReportedWithTheId) {
    const auto message = [](auto lookUp) -> std::string {
        try {
            lookUp();
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
        return "nothing thrown";
    };
    EXPECT_NE(message([] { findSettingEntry(0x3006); }).find("0x3006"), std::string::npos);
    EXPECT_NE(message([] { findEnumValueEntry(0x500A); }).find("0x500A"), std::string::npos);
    EXPECT_NE(message([] { findUnitEntry(0x4010); }).find("0x4010"), std::string::npos);
    EXPECT_EQ(lookUpUnit(0x4010), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Setting

TEST(Setting, TakesItsDescriptionFromTheCatalogue) {
    SettingString text;
    Setting setting(ids::kCameraSerial, &text);
    const SettingCatalogueEntry& entry = findSettingEntry(ids::kCameraSerial);
    EXPECT_EQ(setting.GetId(), ids::kCameraSerial);
    EXPECT_EQ(setting.GetType(), unsigned{kKindString});
    EXPECT_EQ(setting.GetGroup(), unsigned{kGroupInformation});
    // The texts are the catalogue's own storage, never copies.
    EXPECT_EQ(setting.GetName(), entry.name);
    EXPECT_EQ(setting.GetHint(), entry.hint);
    EXPECT_EQ(setting.GetDescription(), entry.description);
    EXPECT_EQ(setting.GetString(), &text);
    EXPECT_EQ(setting.GetEnum(), nullptr);
    EXPECT_EQ(setting.GetScalar(), nullptr);
    EXPECT_EQ(setting.GetRect(), nullptr);
    EXPECT_TRUE(setting.IsEnabled());
}

TEST(Setting, RefusesAnIdOutsideTheCatalogueOrOfAnotherKind) {
    SettingString text;
    EXPECT_THROW(Setting(0x3000, &text), std::invalid_argument);
    EXPECT_THROW(Setting(0x3002, &text), std::invalid_argument);  // the frame period is a scalar
}

TEST(SettingString, NumbersBecomePlainDecimalText) {
    struct Case {
        int number;
        std::u16string text;
    };
    const Case cases[] = {{0, u"0"}, {-12, u"-12"}, {1234567, u"1234567"}, {INT_MIN, u"-2147483648"}};
    SettingString text;
    Setting setting(0x4101, &text);
    RecordingObserver observer;
    setting.AddObserver(&observer);
    for (const auto& c : cases) {
        text.SetNumber(c.number);
        EXPECT_EQ(std::u16string(text.GetValue()), c.text);
    }
    EXPECT_EQ(observer.calls.size(), std::size(cases));
}

TEST(SettingString, EveryTextNotifiesEvenWhenUnchanged) {
    SettingString text;
    EXPECT_EQ(std::u16string(text.GetValue()), u"");
    Setting setting(kCameraName, &text);
    RecordingObserver observer;
    setting.AddObserver(&observer);
    text.SetText(u"Sony ICX285");
    text.SetText(u"Sony ICX285");
    EXPECT_EQ(std::u16string(text.GetValue()), u"Sony ICX285");
    EXPECT_EQ(observer.calls, (std::vector<ISetting*>{&setting, &setting}));
}

TEST(SettingObservers, EnabledFlagNotifiesOnlyWhenItChanges) {
    SettingString text;
    Setting setting(kCameraName, &text);
    RecordingObserver observer;
    setting.AddObserver(&observer);

    text.setEnabled(true);
    EXPECT_TRUE(observer.calls.empty());
    text.setEnabled(false);
    EXPECT_FALSE(setting.IsEnabled());
    EXPECT_EQ(observer.calls.size(), 1u);
    text.setEnabled(false);
    EXPECT_EQ(observer.calls.size(), 1u);
}

TEST(SettingObservers, AreCalledInOrderAndAThrowingOneDoesNotStopTheRest) {
    SettingString text;
    Setting setting(kCameraName, &text);
    RecordingObserver first, second;
    first.throws = true;
    setting.AddObserver(&first);
    setting.AddObserver(&second);

    EXPECT_NO_THROW(text.SetText(u"x"));
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_EQ(second.calls, std::vector<ISetting*>{&setting});
}

TEST(SettingObservers, DoubleRegistrationIsCalledTwiceAndRemovedOneAtATime) {
    SettingString text;
    Setting setting(kCameraName, &text);
    RecordingObserver twice, other;
    setting.AddObserver(&twice);
    setting.AddObserver(&other);
    setting.AddObserver(&twice);

    setting.Notify();
    EXPECT_EQ(twice.calls.size(), 2u);

    setting.RemoveObserver(&twice);
    setting.Notify();
    EXPECT_EQ(twice.calls.size(), 3u);  // one registration left
    EXPECT_EQ(other.calls.size(), 2u);

    setting.RemoveObserver(&twice);
    setting.RemoveObserver(&twice);  // none left: harmless
    setting.Notify();
    EXPECT_EQ(twice.calls.size(), 3u);
    EXPECT_EQ(other.calls.size(), 3u);
}

// An observer that leaves the list from inside its own call (a view closing on a change).
class SelfRemovingObserver final : public ISettingObserver {
public:
    void OnSettingChanged(ISetting* setting) override {
        ++calls;
        setting->RemoveObserver(this);
    }
    int calls = 0;
};

TEST(SettingObservers, MayRemoveThemselvesWhileBeingNotified) {
    SettingString text;
    Setting setting(kCameraName, &text);
    SelfRemovingObserver leaving;
    RecordingObserver staying;
    setting.AddObserver(&leaving);
    setting.AddObserver(&staying);

    text.SetText(u"a");
    text.SetText(u"b");
    EXPECT_EQ(leaving.calls, 1);
    // Removal during the first round may skip the next observer once, but never crashes and the
    // second round reaches it.
    EXPECT_GE(staying.calls.size(), 1u);
}

// Owners build a setting as a temporary and keep a copy in their list; the list may reallocate.
TEST(SettingCopies, ShareObserversWithTheKindObjectAfterTheOriginalsAreGone) {
    std::vector<std::unique_ptr<SettingString>> kinds;
    std::vector<Setting> settings;
    for (unsigned id : {kCameraName, kRegister2, 0x3109u, 0x3108u, 0x3107u}) {
        kinds.push_back(std::make_unique<SettingString>());
        settings.push_back(Setting(id, kinds.back().get()));  // temporary dies here
    }
    RecordingObserver observer;
    settings[0].AddObserver(&observer);

    kinds[0]->SetText(u"changed");
    ASSERT_EQ(observer.calls.size(), 1u);
    // The setting reported is a live copy: the one in the list.
    EXPECT_EQ(observer.calls[0], &settings[0]);
    EXPECT_EQ(observer.calls[0]->GetId(), kCameraName);

    // A copy made later shares the same observers.
    Setting extra = settings[0];
    RecordingObserver late;
    extra.AddObserver(&late);
    settings[0].Notify();
    EXPECT_EQ(late.calls.size(), 1u);
    EXPECT_EQ(late.calls[0], &settings[0]);
}

TEST(SettingCopies, AssignmentMovesACopyToTheOtherSetting) {
    SettingString nameText, registerText;
    Setting name(kCameraName, &nameText);
    RecordingObserver nameObserver, registerObserver;
    name.AddObserver(&nameObserver);
    {
        Setting reg(kRegister2, &registerText);
        reg.AddObserver(&registerObserver);
        Setting moved = name;
        moved = reg;  // leaves the name's copies, joins the register's
        EXPECT_EQ(moved.GetId(), kRegister2);
        EXPECT_EQ(moved.GetString(), &registerText);
        registerText.SetText(u"r");
        EXPECT_EQ(registerObserver.calls, std::vector<ISetting*>{&reg});
    }
    // Both the register's setting and the reassigned copy are gone; the name still reports
    // through its own live setting.
    nameText.SetText(u"n");
    registerText.SetText(u"nobody hears this");
    EXPECT_EQ(nameObserver.calls, std::vector<ISetting*>{&name});
    EXPECT_EQ(registerObserver.calls.size(), 1u);
}

TEST(SettingCopies, KindObjectAndSettingsMayBeDestroyedInEitherOrder) {
    auto kind = std::make_unique<SettingString>();
    {
        std::vector<Setting> settings{Setting(kCameraName, kind.get())};
        RecordingObserver observer;
        settings[0].AddObserver(&observer);
    }
    // Every copy is gone: changes are stored and reported to nobody.
    kind->SetText(u"after");
    EXPECT_EQ(std::u16string(kind->GetValue()), u"after");

    // Kind objects destroyed first (a family destroys its value objects before the base class
    // destroys the settings list).
    auto other = std::make_unique<SettingString>();
    std::vector<Setting> settings{Setting(kRegister2, other.get())};
    other.reset();
    settings.clear();
}

// ---------------------------------------------------------------------------------------------
// Iterators

std::vector<Pair> threePairs() {
    return {Pair(1, u"one"), Pair(2, std::u16string(u"two")), Pair(3, u"three")};
}

TEST(PairIterator, WalksTheListInOrderAndRestartsWithFirst) {
    std::vector<Pair> pairs = threePairs();
    IPairIterator* it = new PairIterator(&pairs);
    for (int round = 0; round < 2; ++round) {
        std::vector<int> keys;
        std::u16string names;
        for (it->First(); !it->IsDone(); it->Next()) {
            keys.push_back(it->Current()->GetKey());
            names += it->Current()->GetName();
        }
        EXPECT_EQ(keys, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(names, u"onetwothree");
    }
    it->Release();
}

TEST(PairIterator, EmptyListIsDoneAtOnceAndCurrentThrows) {
    std::vector<Pair> none;
    IPairIterator* it = new PairIterator(&none);
    EXPECT_TRUE(it->IsDone());
    EXPECT_THROW(it->Current(), std::out_of_range);
    it->Release();
}

TEST(PairIterator, CurrentOutsideTheListThrowsAndReleaseWorksInEveryState) {
    std::vector<Pair> pairs = threePairs();
    IPairIterator* fresh = new PairIterator(&pairs);
    fresh->Release();  // before any walk

    IPairIterator* walked = new PairIterator(&pairs);
    for (int i = 0; i < 3; ++i) walked->Next();
    EXPECT_TRUE(walked->IsDone());
    EXPECT_THROW(walked->Current(), std::out_of_range);
    walked->Next();  // past the end
    EXPECT_THROW(walked->Current(), std::out_of_range);
    walked->Release();

    // The length is fixed at creation, but Current() checks the list as it is now.
    IPairIterator* stale = new PairIterator(&pairs);
    pairs.emplace_back(4, u"four");
    stale->Next();
    stale->Next();
    stale->Next();
    EXPECT_TRUE(stale->IsDone());
    pairs.erase(pairs.begin() + 1, pairs.end());
    stale->First();
    stale->Next();
    EXPECT_FALSE(stale->IsDone());
    EXPECT_THROW(stale->Current(), std::out_of_range);
    stale->Release();
}

TEST(PairIterator, NullNameBecomesEmptyText) {
    EXPECT_EQ(std::u16string(Pair(7, nullptr).GetName()), u"");
}

TEST(SettingIterator, YieldsTheOwnersSettingsInCreationOrder) {
    SettingString a, b;
    std::vector<Setting> settings{Setting(kRegister2, &a), Setting(kCameraName, &b)};
    ISettingIterator* it = new SettingIterator(&settings);
    std::vector<unsigned> ids;
    for (it->First(); !it->IsDone(); it->Next()) ids.push_back(it->Current()->GetId());
    EXPECT_EQ(ids, (std::vector<unsigned>{kRegister2, kCameraName}));
    EXPECT_THROW(it->Current(), std::out_of_range);
    it->Release();

    std::vector<Setting> none;
    ISettingIterator* empty = new SettingIterator(&none);
    EXPECT_TRUE(empty->IsDone());
    empty->Release();
}

}  // namespace
