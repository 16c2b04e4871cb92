// The crosshair page driven as the property frame and a user drive it, offscreen.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "crosshairpage.h"
#include "fakedevice.h"
#include "zmsourcefilter.h"

using namespace ZenmiraVidSource;

namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;

// An ICrosshair that logs the order of the setting calls.
class LoggingCrosshair final : public ICrosshair {
public:
    HResult QueryInterface(const Guid& iid, void** object) override {
        *object = iid == IID_ICrosshair ? static_cast<ICrosshair*>(this) : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    HResult SetShow(bool show) override {
        log << QStringLiteral("show %1").arg(show);
        return S_OK;
    }
    HResult GetShow(bool* show) override {
        *show = false;
        return S_OK;
    }
    HResult SetPosition(std::int32_t x, std::int32_t y) override {
        log << QStringLiteral("position %1 %2").arg(x).arg(y);
        return S_OK;
    }
    HResult GetPosition(std::int32_t* x, std::int32_t* y) override {
        *x = *y = 0;
        return S_OK;
    }
    HResult GetFrameSize(std::int32_t* w, std::int32_t* h) override {
        *w = *h = 0;
        return S_OK;
    }
    QStringList log;
};

// Answers no interface at all.
class Stranger final : public IFilterUnknown {
public:
    HResult QueryInterface(const Guid&, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
};

}  // namespace

class CrosshairPageTest : public QObject {
    Q_OBJECT

private:
    static QCheckBox* box(CrosshairPage& page) { return page.findChild<QCheckBox*>(QStringLiteral("show")); }
    static QLineEdit* edit(CrosshairPage& page, const char* name) {
        return page.findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    static void type(QLineEdit* target, const QString& text) {
        target->selectAll();
        QTest::keyClicks(target, text);
    }

private Q_SLOTS:
    void showsItsTexts() {
        CrosshairPage page;
        QCOMPARE(CrosshairPage::title(), QStringLiteral("Перекрестье"));
        QCOMPARE(box(page)->text(), QStringLiteral("Отобразить"));
        QStringList labels;
        for (QLabel* label : page.findChildren<QLabel*>()) labels << label->text();
        QCOMPARE(labels, (QStringList{QStringLiteral("Позиция X"), QStringLiteral("Позиция Y")}));
    }

    void freshFilterShowsAnUncheckedBoxAtTheOrigin() {
        FakeDevice camera(640, 480, u"1");
        ZmSourceFilter filter;
        filter.AddDevice(&camera);
        CrosshairPage page;
        QCOMPARE(page.OnConnect(static_cast<IDeviceSource*>(&filter)), S_OK);
        QCOMPARE(page.OnActivate(), S_OK);
        QVERIFY(!box(page)->isChecked());
        QCOMPARE(edit(page, "positionX")->text(), QStringLiteral("0"));
        QCOMPARE(edit(page, "positionY")->text(), QStringLiteral("0"));
        QVERIFY(!page.isDirty());
    }

    void userEditsMakeThePageDirtyAndApplyReachesPinZero() {
        FakeDevice first(640, 480, u"1"), second(320, 240, u"2");
        ZmSourceFilter filter;
        filter.AddDevice(&first);
        filter.AddDevice(&second);
        CrosshairPage page;
        page.show();
        page.OnConnect(static_cast<IRecordingSettings*>(&filter));
        page.OnActivate();
        QSignalSpy dirty(&page, &CrosshairPage::dirtyChanged);

        QTest::mouseClick(box(page), Qt::LeftButton, {}, QPoint(5, box(page)->height() / 2));
        type(edit(page, "positionX"), QStringLiteral("200"));
        type(edit(page, "positionY"), QStringLiteral("1x00"));  // the box takes digits only
        QVERIFY(page.isDirty());
        QCOMPARE(dirty.count(), 1);
        QCOMPARE(edit(page, "positionY")->text(), QStringLiteral("100"));

        QCOMPARE(page.OnApplyChanges(), S_OK);
        QVERIFY(!page.isDirty());
        QCOMPARE(dirty.count(), 2);
        QCOMPARE(filter.pin(0)->crosshair().shown, true);
        QCOMPARE(filter.pin(0)->crosshair().x, 200);
        QCOMPARE(filter.pin(0)->crosshair().y, 100);
        QCOMPARE(filter.pin(1)->crosshair().shown, false);
    }

    void applyOrderNeverShowsAHalfChangedCrosshair() {
        LoggingCrosshair crosshair;
        CrosshairPage page;
        page.OnConnect(&crosshair);
        page.OnActivate();
        box(page)->setChecked(true);
        edit(page, "positionX")->setText(QStringLiteral("7"));
        edit(page, "positionY")->setText(QStringLiteral("8"));
        page.OnApplyChanges();
        box(page)->setChecked(false);
        edit(page, "positionX")->setText(QString());  // not a number: 0
        page.OnApplyChanges();
        QCOMPARE(crosshair.log, (QStringList{QStringLiteral("position 7 8"), QStringLiteral("show 1"),
                                             QStringLiteral("show 0"), QStringLiteral("position 0 8")}));
    }

    void negativePositionsShowAsUnsignedNumbers() {
        FakeDevice camera(64, 48, u"1");
        ZmSourceFilter filter;
        filter.AddDevice(&camera);
        filter.SetPosition(-1, 5);
        CrosshairPage page;
        page.OnConnect(static_cast<ICrosshair*>(&filter));
        page.OnActivate();
        QCOMPARE(edit(page, "positionX")->text(), QStringLiteral("4294967295"));
        page.OnApplyChanges();
        std::int32_t x = 0, y = 0;
        filter.GetPosition(&x, &y);
        QCOMPARE(x, -1);
        QCOMPARE(y, 5);
    }

    void connectingNeedsAnObjectWithACrosshair() {
        CrosshairPage page;
        QCOMPARE(page.OnConnect(nullptr), E_POINTER);
        Stranger stranger;
        QCOMPARE(page.OnConnect(&stranger), E_NOINTERFACE);
        QCOMPARE(page.OnActivate(), E_FAIL);
        QCOMPARE(page.OnApplyChanges(), E_FAIL);
    }
};

QTEST_MAIN(CrosshairPageTest)
#include "test_crosshairpage.moc"
