// Where the video panes put pictures: grid sizes, fitting without enlarging, zoom rectangles.
#include <QTest>

#include "videolayout.h"

class VideoLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gridSizes_data() {
        QTest::addColumn<int>("cameras");
        QTest::addColumn<QSize>("grid");  // columns x rows
        const QSize expected[] = {{1, 1}, {2, 1}, {2, 2}, {2, 2}, {3, 2}, {3, 2}, {3, 3}, {3, 3}, {3, 3}};
        for (int n = 1; n <= 9; ++n) QTest::addRow("%d", n) << n << expected[n - 1];
    }
    void gridSizes() {
        QFETCH(int, cameras);
        QFETCH(QSize, grid);
        QCOMPARE(videolayout::gridSize(cameras), grid);
    }

    void gridCellsTakeTheRemainderInTheLastColumnAndRow() {
        const QRect area(0, 0, 1001, 801);
        QCOMPARE(videolayout::gridCell(area, {2, 2}, 0), QRect(0, 0, 500, 400));
        QCOMPARE(videolayout::gridCell(area, {2, 2}, 3), QRect(500, 400, 501, 401));
        QCOMPARE(videolayout::gridCell(area, {3, 2}, 5), QRect(666, 400, 335, 401));
    }

    void placement_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("native");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QRect>("source");
        QTest::addColumn<QRect>("destination");
        QTest::addColumn<QSize>("scroll");
        const QSize pane(1000, 800);
        QTest::newRow("fit never enlarges") << pane << QSize(640, 480) << -1 << QRect(0, 0, 640, 480)
                                            << QRect(180, 160, 640, 480) << QSize(640, 480);
        QTest::newRow("fit shrinks to the height")
            << QSize(1000, 300) << QSize(640, 480) << -1 << QRect(0, 0, 640, 480) << QRect(300, 0, 400, 300)
            << QSize(400, 300);
        QTest::newRow("200% of 640x240: wider than the pane")
            << pane << QSize(640, 240) << 200 << QRect(0, 0, 500, 240) << QRect(0, 160, 1000, 480)
            << QSize(1280, 480);
        QTest::newRow("200% of 640x480: larger both ways")
            << pane << QSize(640, 480) << 200 << QRect(0, 0, 500, 400) << QRect(0, 0, 1000, 800)
            << QSize(1280, 960);
        QTest::newRow("100% fits: centred") << pane << QSize(640, 480) << 100 << QRect(0, 0, 640, 480)
                                            << QRect(180, 160, 640, 480) << QSize(640, 480);
        QTest::newRow("300% of a tall picture: higher than the pane")
            << pane << QSize(200, 400) << 300 << QRect(0, 0, 200, 266) << QRect(200, 0, 600, 800)
            << QSize(600, 1200);
        QTest::newRow("50%") << pane << QSize(640, 480) << 50 << QRect(0, 0, 640, 480)
                             << QRect(340, 280, 320, 240) << QSize(320, 240);
    }
    void placement() {
        QFETCH(QSize, client);
        QFETCH(QSize, native);
        QFETCH(int, zoom);
        QFETCH(QRect, source);
        QFETCH(QRect, destination);
        QFETCH(QSize, scroll);
        const auto placed = videolayout::place(client, native, zoom);
        QVERIFY(placed.valid);
        QCOMPARE(placed.placement.source, source);
        QCOMPARE(placed.placement.destination, destination);
        QCOMPARE(placed.placement.scrollSize, scroll);
    }

    void unknownZoomPlacesNothing() { QVERIFY(!videolayout::place({1000, 800}, {640, 480}, 150).valid); }
};

QTEST_GUILESS_MAIN(VideoLayoutTest)
#include "test_videolayout.moc"
