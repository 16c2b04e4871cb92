// The configuration file: defaults, write-back at destruction and what survives a write.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "iniconfig.h"
#include "inifile.h"

namespace {

QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QString text(const char16_t* s) {
    return QString::fromUtf16(s);
}

}  // namespace

class IniConfigTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(dir_.isValid()); }

    void missingFileDefaultsToCurrentFolderAndIsWrittenAtExit() {
        const QString path = dir_.filePath("sub/ZenmiraKelvo.ini");
        {
            IniConfig config(path.toStdString());
            QCOMPARE(text(config.get(IniConfig::kWorkFolder)), QDir::currentPath());
            QCOMPARE(text(config.get(IniConfig::kExpert)), QString());
            QVERIFY(!QFile::exists(path));  // nothing is written before exit
        }
        QCOMPARE(readFile(path), "[Settings]\nWork_folder=" + QDir::currentPath() + "\nExpert=\n");
    }

    void emptyWorkFolderCountsAsMissing() {
        const QString path = dir_.filePath("ZenmiraKelvo.ini");
        writeFile(path, "[Settings]\nWork_folder=\nExpert=yes\n");
        IniConfig config(path.toStdString());
        QCOMPARE(text(config.get(IniConfig::kWorkFolder)), QDir::currentPath());
        QCOMPARE(text(config.get(IniConfig::kExpert)), "yes");
    }

    void writeBackKeepsForeignLinesAndChangesOnlyTheWorkFolder() {
        const QString path = dir_.filePath("ZenmiraKelvo.ini");
        writeFile(path,
                  "; written by hand\n[Other]\nWork_folder=/not/this/one\n\n"
                  "[settings]\nCustom=1\nwork_folder = /data/старые кадры\nExpert=on\n\n[Tail]\nx=2\n");
        {
            IniConfig config(path.toStdString());
            QCOMPARE(text(config.get(IniConfig::kWorkFolder)), "/data/старые кадры");
            config.set(IniConfig::kWorkFolder, u"/data/новые кадры");
            config.set(IniConfig::kExpert, u"changed");  // only the working folder can change
            config.set(7, u"ignored");
            QCOMPARE(text(config.get(7)), QString());
        }
        QCOMPARE(readFile(path),
                 "; written by hand\n[Other]\nWork_folder=/not/this/one\n\n"
                 "[settings]\nCustom=1\nWork_folder=/data/новые кадры\nExpert=on\n\n[Tail]\nx=2\n");
    }

    void keysMissingFromAnExistingSectionAreAddedToIt() {
        const QString path = dir_.filePath("ZenmiraKelvo.ini");
        writeFile(path, "[Settings]\nCustom=1\n\n[Tail]\nx=2");
        { IniConfig config(path.toStdString()); }
        QCOMPARE(readFile(path),
                 "[Settings]\nCustom=1\nWork_folder=" + QDir::currentPath() + "\nExpert=\n\n[Tail]\nx=2\n");
    }

    void readValueMatchesNamesWithoutCaseAndStripsQuotes_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("[Settings]\nExpert=1\n") << "1";
        QTest::newRow("case and blanks") << QByteArray("[ SETTINGS ]\r\n  expert =  1 2 \r\n") << "1 2";
        QTest::newRow("quoted") << QByteArray("[Settings]\nExpert=\" a \"\n") << " a ";
        QTest::newRow("other section") << QByteArray("[Other]\nExpert=1\n") << "";
        QTest::newRow("comment") << QByteArray("[Settings]\n;Expert=1\n") << "";
        QTest::newRow("no section line") << QByteArray("Expert=1\n") << "";
    }
    void readValueMatchesNamesWithoutCaseAndStripsQuotes() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(inifile::readValue(ini.toStdString(), "Settings", "Expert")),
                 expected);
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(IniConfigTest)
#include "test_iniconfig.moc"
