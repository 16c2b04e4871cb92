// Setting items over a small fake setting set: value texts, column widths, choices and units,
// and the registry's first-wins rule.
#include <QTest>

#include "fakedevice.h"
#include "settingitem.h"

namespace {

using ZmCoreLib_v4::testing_support::FakeSetting;
using ZmCoreLib_v4::testing_support::ScalarUnit;

const std::vector<ScalarUnit> kTimeUnits = {{ZmCoreLib::kUnitMicrosecond, u"мкс", 1000},
                                            {ZmCoreLib::kUnitMillisecond, u"мс", 1000000}};

std::unique_ptr<FakeSetting> gain() {
    return FakeSetting::makeEnum(0x3003, u"Усиление",
                                 {{0x5005, u"0 dB"}, {0x5006, u"6 dB"}, {0x5007, u"12 dB"}}, 0x5006);
}

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

}  // namespace

class SettingItemTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valueTextOfEachKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("enumeration") << int(ZmCoreLib::kKindEnum) << 0x5007 << "12 dB";
        QTest::newRow("scalar") << int(ZmCoreLib::kKindScalar) << 20000 << "20";
        QTest::newRow("negative scalar") << int(ZmCoreLib::kKindScalar) << -1234000 << "-1234";
        QTest::newRow("string") << int(ZmCoreLib::kKindString) << 0 << "ZK-0042";
        QTest::newRow("unknown kind") << 0x1002 << 0 << "";
    }
    void valueTextOfEachKind() {
        QFETCH(int, kind);
        QFETCH(int, value);
        QFETCH(QString, expected);
        std::unique_ptr<FakeSetting> setting;
        if (kind == int(ZmCoreLib::kKindEnum)) {
            setting = gain();
            setting->fakeEnum()->force(value);
        } else if (kind == int(ZmCoreLib::kKindScalar)) {
            setting = FakeSetting::makeScalar(0x3004, u"Длительность", kTimeUnits, -5000000, 5000000, value);
        } else if (kind == int(ZmCoreLib::kKindString)) {
            setting = FakeSetting::makeString(0x3104, u"Серийный номер камеры", u"ZK-0042");
        } else {
            setting = std::make_unique<FakeSetting>(0x3999, unsigned(kind), u"Прямоугольник");
        }
        SettingItem item(setting.get());
        QCOMPARE(qs(item.valueText()), expected);
    }

    void enumerationOutsideItsChoicesKeepsThePreviousText() {
        auto setting = gain();
        SettingItem item(setting.get());
        QCOMPARE(qs(item.valueText()), "6 dB");
        setting->fakeEnum()->force(0x5999);
        QCOMPARE(qs(item.valueText()), "6 dB");

        auto fresh = gain();
        fresh->fakeEnum()->force(0x5999);
        QCOMPARE(qs(SettingItem(fresh.get()).valueText()), "");  // never set: stays empty
    }

    void maxTextLength_data() {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("expected");
        // Units: "a" (1 base unit) and "b" (1000 base units); the current unit is "a".
        QTest::newRow("negative range uses the most negative minimum") << -1000 << -1 << 5;  // "-1000"
        QTest::newRow("positive range uses the largest maximum") << 0 << 123456 << 6;
        QTest::newRow("mixed signs use the maximum") << -99999 << 12 << 2;
        QTest::newRow("zero") << 0 << 0 << 1;
    }
    void maxTextLength() {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, expected);
        auto setting = FakeSetting::makeScalar(0x3004, u"x", {{1, u"a", 1}, {2, u"b", 1000}}, min, max, min);
        QCOMPARE(SettingItem(setting.get()).maxTextLength(), expected);
    }

    void maxTextLengthOfOtherKinds() {
        auto enumeration = gain();
        QCOMPARE(SettingItem(enumeration.get()).maxTextLength(), 5);  // "12 dB"
        auto text = FakeSetting::makeString(0x3104, u"Серийный номер камеры", u"Камера 7");
        QCOMPARE(SettingItem(text.get()).maxTextLength(), 8);  // UTF-16 characters, not bytes
        FakeSetting unknown(0x3999, 0x1002, u"?");
        QCOMPARE(SettingItem(&unknown).maxTextLength(), 0);
    }

    void choicesAndUnitsAreSelectedByPosition() {
        auto enumeration = gain();
        SettingItem choice(enumeration.get());
        QCOMPARE(choice.indexOfChoice(0x5007), 2);
        QCOMPARE(choice.indexOfChoice(0x5999), 3);  // not found: the number of choices
        choice.selectChoice(0);
        QCOMPARE(choice.value(), 0x5005);
        for (int outside : {3, -1}) {
            choice.selectChoice(outside);
            QCOMPARE(choice.value(), 0x5005);
        }

        auto scalar = FakeSetting::makeScalar(0x3004, u"Длительность", kTimeUnits, 0, 5000000, 20000);
        SettingItem units(scalar.get());
        QCOMPARE(units.indexOfUnit(ZmCoreLib::kUnitMillisecond), 1);
        QCOMPARE(units.indexOfUnit(ZmCoreLib::kUnitSecond), 2);
        units.selectUnit(1);
        QCOMPARE(units.unit(), ZmCoreLib::kUnitMillisecond);
        for (int outside : {2, -1}) {
            units.selectUnit(outside);
            QCOMPARE(units.unit(), ZmCoreLib::kUnitMillisecond);
        }
        QCOMPARE(scalar->fakeScalar()->baseValue(), 20000);  // a unit change alone writes no value
    }

    void scalarWritesGoStraightToTheLibrary() {
        auto scalar = FakeSetting::makeScalar(0x3004, u"Длительность", kTimeUnits, 1000, 5000000, 20000);
        SettingItem item(scalar.get());
        item.setValue(7);
        QCOMPARE(scalar->fakeScalar()->baseValue(), 7000);
        item.shift(-2);
        QCOMPARE(item.value(), 5);
        int min = 0, max = 0;
        item.range(min, max, ZmCoreLib::kUnitMillisecond);
        QCOMPARE(min, 0);
        QCOMPARE(max, 5);
        item.setUnit(ZmCoreLib::kUnitMillisecond);
        QCOMPARE(item.unit(), ZmCoreLib::kUnitMillisecond);
    }

    void otherKindsIgnoreScalarAndEnumerationOperations() {
        auto text = FakeSetting::makeString(0x3104, u"Серийный номер камеры", u"7");
        SettingItem item(text.get());
        QCOMPARE(item.value(), -1);
        QCOMPARE(item.unit(), -1);
        int min = 11, max = 22;
        item.range(min, max, ZmCoreLib::kUnitMicrosecond);
        QCOMPARE(min, 11);
        QCOMPARE(max, 22);
        item.setValue(3);
        item.shift(1);
        item.selectChoice(0);
        item.selectUnit(0);  // none of these may reach a kind object the setting lacks
        QCOMPARE(qs(item.valueText()), "7");
    }

    void registryKeepsTheFirstItemOfEachIdInIdOrder() {
        auto first = gain();
        auto second = gain();
        auto serial = FakeSetting::makeString(0x3104, u"Серийный номер камеры", u"7");
        SettingRegistry registry;
        registry.add(SettingItem(serial.get()));
        registry.add(SettingItem(first.get()));
        registry.add(SettingItem(second.get()));
        QCOMPARE(registry.size(), size_t(2));
        QCOMPARE(registry.at(0).setting(), first.get());
        QCOMPARE(registry.at(1).setting(), serial.get());
        QVERIFY(registry.at(0).sameSetting(SettingItem(second.get())));
    }
};

QTEST_GUILESS_MAIN(SettingItemTest)
#include "test_settingitem.moc"
