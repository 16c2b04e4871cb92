// The device pool over a fake camera library: its error texts, camera order, duplicate serial
// numbers, open/close order, and the holder's misuse checks.
#include <unistd.h>

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fakedevice.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;
using ZmCoreLib_v4::testing_support::FakeSetting;

std::vector<std::string> gEvents;

}  // namespace

// Called by the fake library for every camera operation and when it is unloaded.
extern "C" __attribute__((visibility("default"))) void zmFakeCameraEvent(const char* event) {
    gEvents.emplace_back(event);
}

namespace {

QStringList events() {
    QStringList list;
    for (const auto& e : gEvents) list << QString::fromStdString(e);
    return list;
}

QString poolError(const std::string& library, const QByteArray& cameras) {
    qputenv("ZM_FAKE_CAMERAS", cameras);
    SettingRegistry registry;
    try {
        DevicePool pool(library, registry);
    } catch (const qx_classes::Exception& error) {
        return QString::fromUtf8(error.what());
    }
    return "no error";
}

QStringList serials(DevicePool& pool) {
    QStringList list;
    for (auto& entry : pool) list << QString::fromStdU16String(entry.second.serial());
    return list;
}

std::u16string serialOf(DeviceHolder& holder) {
    return holder.serial();
}

// What `action` writes to standard error.
QString standardErrorOf(const std::function<void()>& action) {
    QTemporaryFile file;
    if (!file.open()) return "cannot capture standard error";
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    file.seek(0);
    return QString::fromUtf8(file.readAll());
}

}  // namespace

class DevicePoolTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { gEvents.clear(); }

    void constructionErrorsNameTheirLine_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<QString>("expected");
        const QString head = "File name: zmcoreimpl/zmcorelib_devicepool\nLine: ";
        QTest::newRow("library missing") << "/nonexistent/libzmcorelib_v4.so" << QByteArray("A")
                                         << head + "23\nFailed to load zmcorelib_v4 library";
        QTest::newRow("entry point missing") << ZM_NO_ENTRY_LIBRARY << QByteArray("A")
                                             << head + "31\nWrong version of library or file corrupted";
        QTest::newRow("no camera") << ZM_FAKE_LIBRARY << QByteArray("") << head + "40\nNo device found";
        QTest::newRow("no creator for any camera")
            << ZM_FAKE_LIBRARY << QByteArray("?one;?two") << head + "40\nNo device found";
        QTest::newRow("creation fails") << ZM_FAKE_LIBRARY << QByteArray("A;!Камера №3;B")
                                        << head + "63\nFailed to create device; Device name: Камера №3";
    }
    void constructionErrorsNameTheirLine() {
        QFETCH(QString, library);
        QFETCH(QByteArray, cameras);
        QFETCH(QString, expected);
        QCOMPARE(poolError(library.toStdString(), cameras), expected);
        // A camera created before the failure is never opened, and the library is unloaded.
        QVERIFY(!events().filter(":Open").size());
        if (library == ZM_FAKE_LIBRARY) QCOMPARE(events().value(events().size() - 1), "unload");
    }

    void camerasAreOrderedBySerialAndTheFirstOfASerialWins() {
        // List order: b, B, (none), a, b again, (none) again, a camera without a creator.
        qputenv("ZM_FAKE_CAMERAS", "b;B;-;a;b;-;?lost");
        SettingRegistry registry;
        {
            std::optional<DevicePool> made;
            const QString errors = standardErrorOf([&] { made.emplace(ZM_FAKE_LIBRARY, registry); });
            DevicePool& pool = *made;
            // The cameras left out are named on standard error.
            const QStringList leftOut = {
                "Камера \"Fake camera 4\" не показана: её серийный номер b уже у другой камеры",
                "Камера \"Fake camera 5\" не показана: у неё, как и у другой камеры, нет серийного номера"};
            QCOMPARE(errors, leftOut.join("\n") + "\n");
            // UTF-16 code unit order: the empty serial first, capitals before small letters.
            QCOMPARE(serials(pool), QStringList({"", "B", "a", "b"}));
            QCOMPARE(pool.size(), 4);
            QCOMPARE(serialOf(*pool.at(3)), u"b");
            QVERIFY(!pool.at(4));
            // Each surviving camera is opened then started, in camera order; the duplicates never.
            QCOMPARE(events(), QStringList({"-@2:Open", "-@2:Start", "B@1:Open", "B@1:Start", "a@3:Open",
                                            "a@3:Start", "b@0:Open", "b@0:Start"}));
            gEvents.clear();
            made.reset();
        }
        // Every camera stopped and closed, in camera order, before the library goes.
        QCOMPARE(events(), QStringList({"-@2:Stop", "-@2:Close", "B@1:Stop", "B@1:Close", "a@3:Stop",
                                        "a@3:Close", "b@0:Stop", "b@0:Close", "unload"}));
    }

    void aLibraryErrorWhileOpeningLeavesTheRestRunning() {
        qputenv("ZM_FAKE_CAMERAS", "~A;B");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        QCOMPARE(events(), QStringList({"B@1:Open", "B@1:Start"}));
        QVERIFY(pool.at(0)->opened());
        QCOMPARE(pool.at(0)->settings().size(), size_t(5));
    }

    void registryHoldsTheFirstCamerasItemAndFindLocatesEachCamerasOwn() {
        qputenv("ZM_FAKE_CAMERAS", "I2;A;I1");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        // Ids ascending: gain 0x3003, exposure 0x3004, width 0x3019, height 0x301A, serial 0x3104,
        // intensifier voltage 0x3203.
        QCOMPARE(registry.size(), size_t(6));
        SettingItem& voltage = registry.at(5);
        QCOMPARE(voltage.id(), 0x3203u);
        DeviceHolder& first = *pool.at(1);  // "I1": the first camera in pool order with the setting
        QCOMPARE(serialOf(first), u"I1");
        QCOMPARE(first.find(voltage)->setting(), voltage.setting());
        QVERIFY(!pool.at(0)->find(voltage));  // "A" has no intensifier
        QVERIFY(pool.at(2)->find(voltage)->setting() != voltage.setting());
        QCOMPARE(first.maxNameLength(), int(std::u16string(u"Длительность экспозиции").size()));
        QCOMPARE(first.maxValueLength(), 4);  // 5000000 ns in мкс: "5000", and 4096 pixels
    }

    void holderMisuseIsReportedWithItsLine() {
        auto makeDevice = [] {
            auto device = std::make_unique<FakeDevice>();
            device->add(FakeSetting::makeString(ZmCoreLib::ids::kCameraSerial, u"Серийный номер", u"X"));
            return device;
        };
        auto lineOf = [](auto action) {
            try {
                action();
            } catch (const ZmCorelib_baddevice& misuse) {
                if (misuse.file != "zmcoreimpl/zmcorelib_device") return -2;
                return misuse.line;
            }
            return -1;
        };
        auto device = makeDevice();
        auto otherDevice = makeDevice();
        SettingRegistry registry;
        DeviceHolder fresh(device.get());
        DeviceHolder other(otherDevice.get());
        SettingItem probe(device->FindSetting(ZmCoreLib::ids::kCameraSerial));

        QCOMPARE(lineOf([&] { fresh.find(probe); }), 91);
        QCOMPARE(lineOf([&] {
                     DeviceHolder copy(fresh);
                     other = copy;
                 }),
                 -1);  // fine while closed
        fresh.open(registry);
        QCOMPARE(fresh.find(probe)->id(), ZmCoreLib::ids::kCameraSerial);
        QCOMPARE(lineOf([&] { DeviceHolder copy(fresh); }), 63);
        QCOMPARE(lineOf([&] { other = fresh; }), 78);
        QCOMPARE(lineOf([&] { fresh = other; }), 78);
        QCOMPARE(lineOf([&] { fresh = fresh; }), -1);  // self-assignment does nothing
        QCOMPARE(lineOf([&] { fresh.open(registry); }), 134);
    }
};

QTEST_GUILESS_MAIN(DevicePoolTest)
#include "test_devicepool.moc"
